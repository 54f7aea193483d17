// The serial ports this machine has now, as the COM ports dialog offers them for a link, and what
// the system tells of the device behind a port: on Linux the devices udev and sysfs know
// (serial/linux/serial_devices.h), on Windows the ports class of setup (serial/win32/com_ports.h).
#pragma once

#include <string>
#include <vector>

#include "serial/device_roots.h"

namespace vannor {

struct PresentPort {
  std::string target;  // what a link to it names: "/dev/serial/by-id/usb-…", "COM17"
  // The dialog's item: "ttyUSB0 — ftdi_sio: FTDI FT232R USB UART, serial number A9XYZ, …",
  // "USB Serial Port (COM17) — FTDI: FT232R USB UART, serial number A9XYZ"
  std::string item;
};

// In the order the system's own listing gives them (by-id names first; COM numbers rising).
// `roots` are read on Linux only.
std::vector<PresentPort> PresentPorts(const DeviceRoots& roots);

// One line of what the system tells of the device `device` opens (a path, "\\.\COM17"); empty
// when it tells nothing.
std::string DescribePort(const std::string& device, const DeviceRoots& roots);

// Why a link to `target` would not open, found without opening it: not there now, not a serial
// port, the system console. Empty when nothing speaks against it.
std::string LinkTargetRefusal(const std::string& target, const DeviceRoots& roots);

}  // namespace vannor
