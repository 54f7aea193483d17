#include "serial/port_names.h"

namespace vannor {

namespace {

constexpr std::string_view PORT_NAMES[PORT_COUNT] = {"COM1", "COM2", "COM3", "COM4", "COM5",
                                                     "COM6", "COM7", "COM8", "COM9", "COM10"};

}  // namespace

std::string_view PortName(int index) {
  if (index < 0 || index >= PORT_COUNT) return std::string_view();
  return PORT_NAMES[index];
}

int PortIndexOf(std::string_view name) {
  for (int index = 0; index < PORT_COUNT; ++index) {
    if (PORT_NAMES[index] == name) return index;
  }
  return -1;
}

std::string ResolvedPort::Followed() const {
  if (linkTarget.empty() || linkTarget.front() == '/')
    return linkTarget.empty() ? path : linkTarget;
  const std::size_t folder = path.rfind('/');
  return folder == std::string::npos ? linkTarget : path.substr(0, folder + 1) + linkTarget;
}

}  // namespace vannor
