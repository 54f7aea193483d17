#include "serial/port_links.h"

#include <windows.h>

#include "serial/win32/com_ports.h"
#include "serial/win32/port_store.h"
#include "serial/win32/win32_port.h"

namespace vannor {

namespace {

constexpr const wchar_t* STORE_KEY = L"Software\\Vannor\\Ports";

std::string Where(int index) {
  return std::string(PORT_STORE) + "\\" + std::string(PortName(index));
}

PortLinkChange Failed(PortLinkFailure failure, std::string where, std::string reason) {
  return PortLinkChange{
      .failure = failure, .where = std::move(where), .reason = std::move(reason), .target = {}};
}

}  // namespace

StoredLink ReadStoredLink(int index) {
  StoredLink link;
  if (PortName(index).empty()) return link;
  link.where = Where(index);
  wchar_t value[64] = {};
  DWORD bytes = sizeof value - sizeof(wchar_t);
  const LONG result =
      RegGetValueW(HKEY_CURRENT_USER, STORE_KEY, Wide(std::string(PortName(index))).c_str(),
                   RRF_RT_REG_SZ, nullptr, value, &bytes);
  if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) return link;
  // Anything but absence may hide the user's choice: the built-in port would be another device.
  if (result != ERROR_SUCCESS) {
    link.refusal = SystemReason(static_cast<DWORD>(result));
    return link;
  }
  link.target = ComPortName(Utf8(value));
  if (link.target.empty()) link.refusal = "not a COM port name: " + Utf8(value);
  link.linked = link.refusal.empty();
  return link;
}

PortLinkState PortLinkOf(int index) {
  return PortLinkOf(index, ResolvePort(index));
}

PortLinkState PortLinkOf(int index, const ResolvedPort& port) {
  PortLinkState state;
  state.fallback = std::string(PortName(index));
  state.refusal = port.refusal;
  if (port.path.empty() || !port.refusal.empty()) {
    state.opens = port.path;
    return state;
  }
  state.opens = ComPortName(port.path);
  state.linked = port.path != BuiltInPortPath(index);
  state.connected = ComPortPresent(state.opens);
  return state;
}

PortLinkChange WritePortLink(int index, const std::string& device) {
  if (PortName(index).empty()) return Failed(PortLinkFailure::NoFolder, "", "no such port");
  const std::string target = ComPortName(device);
  if (target.empty()) {
    return Failed(PortLinkFailure::BadDevice, device,
                  "not a COM port name; give one as COM17 (see vannor-cli ports)");
  }
  // A link to its own name is no link: the name opens that port anyway.
  if (target == PortName(index)) {
    PortLinkChange removed = RemovePortLink(index);
    removed.target = target;
    return removed;
  }
  const std::wstring value = Wide(target);
  const LONG result = RegSetKeyValueW(
      HKEY_CURRENT_USER, STORE_KEY, Wide(std::string(PortName(index))).c_str(), REG_SZ,
      value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  if (result != ERROR_SUCCESS) {
    return Failed(PortLinkFailure::NotWritten, Where(index),
                  SystemReason(static_cast<DWORD>(result)));
  }
  return PortLinkChange{
      .failure = PortLinkFailure::None, .where = {}, .reason = {}, .target = target};
}

PortLinkChange RemovePortLink(int index) {
  if (PortName(index).empty()) return PortLinkChange{};
  const LONG result =
      RegDeleteKeyValueW(HKEY_CURRENT_USER, STORE_KEY, Wide(std::string(PortName(index))).c_str());
  // No value, or no key: as good as removed.
  if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) {
    return PortLinkChange{};
  }
  return Failed(PortLinkFailure::NotWritten, Where(index),
                SystemReason(static_cast<DWORD>(result)));
}

}  // namespace vannor
