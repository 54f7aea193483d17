#include <cctype>

#include "serial/port_names.h"
#include "serial/win32/com_ports.h"
#include "serial/win32/port_store.h"

namespace vannor {

namespace {

// The device namespace: plain "COM10" and above would name a file in the working folder.
std::string InDeviceNamespace(const std::string& name) {
  return "\\\\.\\" + name;
}

}  // namespace

ResolvedPort ResolvePort(int index) {
  if (PortName(index).empty()) return ResolvedPort{};
  const StoredLink link = ReadStoredLink(index);
  // A value that cannot be used names no port: never the built-in one instead.
  if (!link.refusal.empty()) {
    return ResolvedPort{.path = link.where, .linkTarget = {}, .refusal = link.refusal};
  }
  if (link.linked) {
    return ResolvedPort{.path = InDeviceNamespace(link.target), .linkTarget = {}, .refusal = {}};
  }
  return ResolvedPort{.path = BuiltInPortPath(index), .linkTarget = {}, .refusal = {}};
}

std::string BuiltInPortPath(int index) {
  const std::string_view name = PortName(index);
  if (name.empty()) return std::string();
  return InDeviceNamespace(std::string(name));
}

ResolvedPort ResolvePortName(std::string_view name) {
  // "com3" is COM3 of the list as well; "\\.\COM3" names the device itself, past any link.
  const std::string port = ComPortName(std::string(name));
  const bool device = name.rfind("\\\\.\\", 0) == 0;
  const int index = device || port.empty() ? -1 : PortIndexOf(port);
  if (index >= 0) return ResolvePort(index);
  return ResolvedPort{.path = port.empty() ? std::string(name) : InDeviceNamespace(port),
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
