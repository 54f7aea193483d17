#include <cctype>

#include "serial/port_names.h"

namespace vannor {

namespace {

// "COM" and a number: a port name beyond the list ("COM11"), which like the list's own names
// opens in the device namespace.
bool IsComName(std::string_view name) {
  if (name.size() < 4 || name.substr(0, 3) != "COM") return false;
  for (char c : name.substr(3)) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return false;
  }
  return true;
}

}  // namespace

std::string PortLinkPath(int /*index*/) {
  // Windows names its ports itself; there is nothing to map.
  return std::string();
}

ResolvedPort ResolvePort(int index) {
  if (PortName(index).empty()) return ResolvedPort{};
  return ResolvedPort{.path = BuiltInPortPath(index), .linkTarget = {}, .refusal = {}};
}

std::string BuiltInPortPath(int index) {
  const std::string_view name = PortName(index);
  if (name.empty()) return std::string();
  // The device namespace: plain "COM10" and above would name a file in the working folder.
  return "\\\\.\\" + std::string(name);
}

ResolvedPort ResolvePortName(std::string_view name) {
  const int index = PortIndexOf(name);
  if (index >= 0) return ResolvePort(index);
  return ResolvedPort{.path = IsComName(name) ? "\\\\.\\" + std::string(name) : std::string(name),
                      .linkTarget = {},
                      .refusal = {}};
}

std::string DeviceKey(const std::string& path) {
  // Windows' device names ignore case; every spelling of a COM port reaches the device
  // namespace through ResolvePortName.
  std::string key = path;
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

}  // namespace vannor
