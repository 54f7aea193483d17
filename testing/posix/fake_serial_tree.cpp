#include "testing/posix/fake_serial_tree.h"

#include <filesystem>
#include <fstream>

namespace vannor::testkit {

namespace fs = std::filesystem;

FakeSerialTree::FakeSerialTree() {
  roots_.dev = folder_.Path() + "/dev";
  roots_.sys = folder_.Path() + "/sys";
  std::error_code error;
  fs::create_directories(roots_.dev, error);
  if (!error) fs::create_directories(roots_.sys + "/class/tty", error);
  ok_ = !folder_.Path().empty() && !error;
}

// Any step that fails leaves ok_ false; the test then fails on Ok().
void FakeSerialTree::Write(const std::string& path, const std::string& text) {
  std::error_code error;
  fs::create_directories(fs::path(path).parent_path(), error);
  std::ofstream file(path);
  file << text << "\n";
  if (error || !file.good()) ok_ = false;
}

void FakeSerialTree::Link(const std::string& target, const std::string& path) {
  std::error_code error;
  // Devices that share a parent link it to its driver once.
  if (fs::read_symlink(path, error) == target) return;
  fs::create_directories(fs::path(path).parent_path(), error);
  if (!error) fs::create_symlink(target, path, error);
  if (error) ok_ = false;
}

std::string FakeSerialTree::ClassEntry(const std::string& name, const std::string& ttyFolder) {
  const std::string classFolder = ttyFolder + "/tty/" + name;
  Write(classFolder + "/dev", "188:0");
  Link(classFolder, roots_.sys + "/class/tty/" + name);
  return classFolder;
}

std::string FakeSerialTree::Node(const std::string& name, const std::string& opens) {
  const std::string node = roots_.dev + "/" + name;
  if (opens.empty()) {
    Write(node, "");
  } else {
    Link(opens, node);
  }
  return node;
}

std::string FakeSerialTree::AddUsb(const Usb& usb) {
  const std::string device =
      roots_.sys + "/devices/pci0000:00/usb1/1-" + std::to_string(++usbPorts_);
  Write(device + "/idVendor", usb.vendorId);
  Write(device + "/idProduct", usb.productId);
  if (!usb.maker.empty()) Write(device + "/manufacturer", usb.maker);
  if (!usb.product.empty()) Write(device + "/product", usb.product);
  if (!usb.serialNumber.empty()) Write(device + "/serial", usb.serialNumber);
  const std::string interface = device + "/" + fs::path(device).filename().string() + ":1.0";
  const bool acm = usb.name.starts_with("ttyACM");
  Link(roots_.sys + "/bus/usb/drivers/" + (acm ? usb.driver : "usb-serial-generic"),
       interface + "/driver");
  // ACM ttys hang off the interface; usb-serial ones off a port device of their driver's.
  std::string port = interface;
  if (!acm) {
    port = interface + "/" + usb.name;
    Link(roots_.sys + "/bus/usb-serial/drivers/" + usb.driver, port + "/driver");
  }
  if (usb.latencyTimerMs >= 0) Write(port + "/latency_timer", std::to_string(usb.latencyTimerMs));
  Link(port, ClassEntry(usb.name, acm ? interface : port) + "/device");
  const std::string node = Node(usb.name, usb.opens);
  if (usb.byId.empty()) return node;
  // udev's links are relative.
  const std::string byId = roots_.dev + "/serial/by-id/" + usb.byId;
  Link("../../" + usb.name, byId);
  return byId;
}

std::string FakeSerialTree::AddUart(const Uart& uart) {
  // As kernels from 6.5 have it: the platform device, then serial-base's controller and port.
  const std::string platform = roots_.sys + "/devices/platform/serial8250";
  Link(roots_.sys + "/bus/platform/drivers/serial8250", platform + "/driver");
  const std::string controller = platform + "/serial8250:0";
  Link(roots_.sys + "/bus/serial-base/drivers/ctrl", controller + "/driver");
  const std::string port = controller + "/serial8250:0." + uart.name.substr(4);
  Link(roots_.sys + "/bus/serial-base/drivers/port", port + "/driver");
  const std::string tty = ClassEntry(uart.name, port);
  Link(port, tty + "/device");
  Write(tty + "/type", std::to_string(uart.portType));
  Write(tty + "/rx_trig_bytes", std::to_string(uart.rxTriggerBytes));
  return Node(uart.name, std::string());
}

void FakeSerialTree::AddVirtual(const std::string& name) {
  ClassEntry(name, roots_.sys + "/devices/virtual");
  Node(name, std::string());
}

void FakeSerialTree::SetConsole(const std::string& name) {
  ClassEntry("console", roots_.sys + "/devices/virtual");
  Write(roots_.sys + "/class/tty/console/active", name);
}

}  // namespace vannor::testkit
