#include "serial/port_names.h"

namespace vannor {

std::string PortLinkPath(int /*index*/) {
  // Windows names its ports itself; there is nothing to map.
  return std::string();
}

std::string ResolvePortPath(int index) {
  const std::string_view name = PortName(index);
  if (name.empty()) return std::string();
  // The device namespace: plain "COM10" and above would name a file in the working folder.
  return "\\\\.\\" + std::string(name);
}

}  // namespace vannor
