// A /dev and a /sys of a test's own, holding the serial devices the test adds, laid out as udev and
// the kernel lay out theirs: for what this machine has not (USB adapters, ACM devices, UARTs with
// hardware). A device node may lead to a real pseudo-terminal, so that it opens and carries bytes.
#pragma once

#include <string>

#include "serial/linux/serial_devices.h"
#include "testing/temp_dir.h"

namespace vannor::testkit {

class FakeSerialTree {
 public:
  struct Usb {
    std::string name = "ttyUSB0";  // the node's name; "ttyACM…" makes an ACM device
    std::string driver = "ftdi_sio";
    std::string vendorId = "0403";
    std::string productId = "6001";
    std::string maker{};    // no string when empty
    std::string product{};  // no string when empty
    std::string serialNumber{};
    int latencyTimerMs = -1;  // no latency_timer file when negative
    std::string byId{};       // udev's by-id name; none when empty
    std::string opens{};      // what the node leads to (a pseudo-terminal's slave); else a file
  };
  struct Uart {
    std::string name = "ttyS0";
    int portType = 4;  // 0: the kernel made the node, but nothing answers there
    int rxTriggerBytes = 8;
  };

  FakeSerialTree();
  FakeSerialTree(const FakeSerialTree&) = delete;
  FakeSerialTree& operator=(const FakeSerialTree&) = delete;

  const DeviceRoots& Roots() const { return roots_; }
  bool Ok() const { return ok_; }

  // Each returns the path a COM link should name: the by-id name, else the node.
  std::string AddUsb(const Usb& usb);
  std::string AddUart(const Uart& uart);
  // A node the kernel has but ties to no hardware, such as a virtual console.
  void AddVirtual(const std::string& name);
  // The kernel writes its console to `name`.
  void SetConsole(const std::string& name);

 private:
  void Write(const std::string& path, const std::string& text);
  void Link(const std::string& target, const std::string& path);
  std::string ClassEntry(const std::string& name, const std::string& ttyFolder);
  std::string Node(const std::string& name, const std::string& opens);

  TempDir folder_;
  DeviceRoots roots_;
  int usbPorts_ = 0;
  bool ok_ = false;
};

}  // namespace vannor::testkit
