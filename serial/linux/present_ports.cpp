#include "serial/present_ports.h"

#include <sys/stat.h>

#include <filesystem>

#include "serial/linux/linux_port.h"
#include "serial/linux/serial_devices.h"

namespace vannor {

namespace {

// "ttyUSB0 — ftdi_sio: FTDI FT232R USB UART, serial number A9XYZ, latency timer 16 ms"
std::string ItemFor(const SerialDevice& device) {
  const std::string identity = DescribeDevice(device);
  const std::string node = std::filesystem::path(device.node).filename().string();
  if (identity.empty()) return device.path;
  return node + " \u2014 " + identity;
}

}  // namespace

std::vector<PresentPort> PresentPorts(const DeviceRoots& roots) {
  std::vector<PresentPort> ports;
  for (const SerialDevice& device : FindSerialDevices(roots)) {
    ports.push_back(PresentPort{.target = device.path, .item = ItemFor(device)});
  }
  return ports;
}

std::string DescribePort(const std::string& device, const DeviceRoots& roots) {
  return DescribeDevice(IdentifyDevice(device, roots));
}

std::string LinkTargetRefusal(const std::string& target, const DeviceRoots& roots) {
  struct stat device;
  if (stat(target.c_str(), &device) != 0) return "missing (unplugged?)";
  if (IdentifyDevice(target, roots).console) {
    return std::string(CONSOLE_REFUSAL);
  }
  // What is no device at all is the open's to refuse, with its own words.
  return S_ISCHR(device.st_mode) ? RefusalWithoutOpening(target) : std::string();
}

}  // namespace vannor
