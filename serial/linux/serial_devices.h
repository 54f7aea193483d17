// The serial devices this machine has, as udev and the kernel name them, with what sysfs tells of
// each: what a technician needs to tell two adapters apart and to pick one for a COM name.
#pragma once

#include <string>
#include <vector>

#include "serial/device_roots.h"

namespace vannor {

// Nothing outside the roots' `sys` is read for what sysfs tells.

struct SerialDevice {
  // What a COM link should name: the stable /dev/serial/by-id name when udev made one.
  std::string path;
  // The kernel's node behind it ("/dev/ttyUSB0"); the same as path for a bare node.
  std::string node;
  std::string driver;        // "ftdi_sio", "cdc_acm", "serial8250"; empty when sysfs says nothing
  std::string maker;         // a USB device's manufacturer string
  std::string product;       // its product string, or "USB device vvvv:pppp" without one
  std::string serialNumber;  // its serial number string
  int latencyTimerMs = -1;   // a USB adapter's latency timer, where the driver has one
  int rxTriggerBytes = -1;   // a UART's receive trigger level, where the driver tells it
  bool console = false;      // the kernel writes its console here: no port for a radio
};

// The by-id names first, in name order; then the nodes that no by-id name leads to (USB and ACM
// devices, and UARTs that have hardware behind them), in natural order (ttyS2 before ttyS10).
// Nothing outside `roots` is read.
std::vector<SerialDevice> FindSerialDevices(const DeviceRoots& roots = {});

// What sysfs tells of the device that `path` leads to (a by-id name, a node, or a link to either,
// followed one step at a time until a node the kernel knows); only path and node are set when it
// leads to none (a pseudo-terminal, a missing device).
SerialDevice IdentifyDevice(const std::string& path, const DeviceRoots& roots = {});

// One line of what is known, as in "ftdi_sio: FTDI FT232R USB UART, serial number A9XYZ,
// latency timer 16 ms"; empty when nothing is.
std::string DescribeDevice(const SerialDevice& device);

}  // namespace vannor
