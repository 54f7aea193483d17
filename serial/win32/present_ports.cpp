#include "serial/present_ports.h"

#include "serial/win32/com_ports.h"

namespace vannor {

std::vector<PresentPort> PresentPorts(const DeviceRoots& /*roots*/) {
  std::vector<PresentPort> ports;
  for (const ComPort& port : FindComPorts()) {
    ports.push_back(PresentPort{.target = port.name, .item = DescribeComPort(port)});
  }
  return ports;
}

std::string DescribePort(const std::string& device, const DeviceRoots& /*roots*/) {
  const std::string name = ComPortName(device);
  for (const ComPort& port : FindComPorts()) {
    if (port.name != name) continue;
    const std::string described = DescribeComPort(port);
    // The name alone is no news beside the name.
    return described == name ? std::string() : described;
  }
  return std::string();
}

std::string LinkTargetRefusal(const std::string& target, const DeviceRoots& /*roots*/) {
  const std::string name = ComPortName(target);
  if (name.empty()) return "not a COM port name";
  return ComPortPresent(name) ? std::string() : "missing (unplugged?)";
}

}  // namespace vannor
