#include "cli/port_commands.h"

#include <windows.h>
// After windows.h, which it needs.
#include <setupapi.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "serial/port_names.h"

namespace vannor::cli {

namespace {

// The device setup class of serial and parallel ports.
constexpr GUID PORTS_CLASS = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

struct ComPort {
  std::string name;    // "COM3"
  std::string device;  // the driver's device ("\Device\Serial0")
  std::string friendly;
};

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    (void)WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(),
                              size, nullptr, nullptr);  // sized just above
  }
  return utf8;
}

// The ports present now, as the serial drivers list them under HARDWARE\DEVICEMAP\SERIALCOMM.
std::vector<ComPort> PresentPorts() {
  std::vector<ComPort> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                    &key) != ERROR_SUCCESS) {
    return ports;  // no serial driver has started: no ports
  }
  for (DWORD index = 0;; ++index) {
    wchar_t device[256];
    wchar_t name[64];
    DWORD deviceLength = static_cast<DWORD>(std::size(device));
    DWORD nameBytes = sizeof name - sizeof(wchar_t);
    DWORD type = 0;
    const LONG result = RegEnumValueW(key, index, device, &deviceLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(name), &nameBytes);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;  // too long, or not a name
    name[nameBytes / sizeof(wchar_t)] = L'\0';
    ports.push_back({Utf8(name), Utf8(std::wstring(device, deviceLength)), {}});
  }
  (void)RegCloseKey(key);  // read-only: nothing to lose
  return ports;
}

// Adds the names Device Manager shows ("USB Serial Port (COM3)") where setup knows the port.
void AddFriendlyNames(std::vector<ComPort>& ports) {
  const HDEVINFO devices = SetupDiGetClassDevsW(&PORTS_CLASS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return;  // the names are a courtesy
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &info); ++index) {
    const HKEY key = SetupDiOpenDevRegKey(devices, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t portName[64] = {};
    DWORD bytes = sizeof portName - sizeof(wchar_t);
    DWORD type = 0;
    const bool named =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName),
                         &bytes) == ERROR_SUCCESS &&
        type == REG_SZ;
    (void)RegCloseKey(key);  // read-only: nothing to lose
    if (!named) continue;
    wchar_t friendly[256] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &info, SPDRP_FRIENDLYNAME, nullptr,
                                           reinterpret_cast<BYTE*>(friendly),
                                           sizeof friendly - sizeof(wchar_t), nullptr)) {
      continue;
    }
    const std::string name = Utf8(portName);
    for (ComPort& port : ports) {
      if (port.name == name) port.friendly = Utf8(friendly);
    }
  }
  (void)SetupDiDestroyDeviceInfoList(devices);  // ours; nothing depends on it
}

int ComNumber(const std::string& name) {
  return name.size() > 3 ? std::atoi(name.c_str() + 3) : 0;
}

int NotNeeded(const char* command, std::FILE* /*out*/) {
  std::fprintf(stderr,
               "vannor-cli: %s is not needed on Windows: COMn opens the port Windows gave that "
               "name (see Device Manager, Ports)\n",
               command);
  return EXIT_USAGE;
}

}  // namespace

const PortHelpTexts& PortHelp() {
  static constexpr PortHelpTexts texts{
      .commands =
          "  ports                      list the COM ports of this computer\n"
          "  map, unmap                 not needed on Windows, which names its ports itself\n",
      .portOption = "  -p, --port PORT   COM1, COM2, ... (also \\\\.\\COM12 style names)\n",
      .ports =
          "Usage: vannor-cli ports\n"
          "Lists the COM ports present, with the names Device Manager gives them, and which of\n"
          "COM1 to COM10 (the window's port list) are present.\n",
      .map =
          "Usage: vannor-cli map COMn DEVICE\n"
          "Not needed on Windows: COMn opens the port Windows gave that name.\n",
      .unmap =
          "Usage: vannor-cli unmap COMn\n"
          "Not needed on Windows: COMn opens the port Windows gave that name.\n",
  };
  return texts;
}

int ListPorts(std::FILE* out) {
  std::vector<ComPort> ports = PresentPorts();
  AddFriendlyNames(ports);
  std::sort(ports.begin(), ports.end(), [](const ComPort& a, const ComPort& b) {
    return ComNumber(a.name) < ComNumber(b.name);
  });
  std::fprintf(out, "Serial devices:\n");
  if (ports.empty()) std::fprintf(out, "  (none found)\n");
  for (const ComPort& port : ports) {
    std::fprintf(out, "  %-5s  %s\n", port.name.c_str(),
                 (port.friendly.empty() ? port.device : port.friendly).c_str());
  }
  std::fprintf(out, "Port names:\n");
  for (int index = 0; index < PORT_COUNT; ++index) {
    const std::string name(PortName(index));
    const bool present = std::any_of(ports.begin(), ports.end(),
                                     [&](const ComPort& port) { return port.name == name; });
    std::fprintf(out, "  %-5s    %s%s\n", name.c_str(), ResolvePort(index).path.c_str(),
                 present ? "" : " (not present)");
  }
  return EXIT_SUCCESS_ALL;
}

int MapPort(const std::string& /*comName*/, const std::string& /*device*/, std::FILE* out) {
  return NotNeeded("map", out);
}

int UnmapPort(const std::string& /*comName*/, std::FILE* out) {
  return NotNeeded("unmap", out);
}

}  // namespace vannor::cli
