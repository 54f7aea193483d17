#include "serial/win32/com_ports.h"

#include <windows.h>
// After windows.h, which they need; initguid.h makes this file hold the property keys it uses.
#include <initguid.h>
// After initguid.h.
#include <devpkey.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cwchar>

namespace vannor {

namespace {

// The device setup class of serial and parallel ports.
constexpr GUID PORTS_CLASS = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

int ComNumber(const std::string& name) {
  return name.size() > 3 ? std::atoi(name.c_str() + 3) : 0;
}

// The ports present now, as the serial drivers list them under HARDWARE\DEVICEMAP\SERIALCOMM.
std::vector<ComPort> DriversPorts() {
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
    ComPort port;
    port.name = ComPortName(Utf8(name));
    port.device = Utf8(std::wstring(device, deviceLength));
    if (!port.name.empty()) ports.push_back(port);
  }
  (void)RegCloseKey(key);  // read-only: nothing to lose
  return ports;
}

// Adds the COM ports that Windows has a name for but no driver lists (a port made while the
// list was not kept up to date, as Wine's ports mapped after its start).
void AddDosNames(std::vector<ComPort>& ports) {
  std::vector<wchar_t> names(65536);
  const DWORD length = QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
  if (length == 0) return;  // the drivers' list stands alone
  for (const wchar_t* at = names.data(); at < names.data() + length && *at != L'\0';
       at += wcslen(at) + 1) {
    const std::string name = ComPortName(Utf8(at));
    if (name.empty() || std::any_of(ports.begin(), ports.end(),
                                    [&](const ComPort& known) { return known.name == name; })) {
      continue;
    }
    ComPort found;
    found.name = name;
    ports.push_back(found);
  }
}

std::string StringProperty(HDEVINFO devices, SP_DEVINFO_DATA& info, DWORD property) {
  wchar_t text[256] = {};
  if (!SetupDiGetDeviceRegistryPropertyW(devices, &info, property, nullptr,
                                         reinterpret_cast<BYTE*>(text),
                                         sizeof text - sizeof(wchar_t), nullptr)) {
    return std::string();  // the property is a courtesy
  }
  return Utf8(text);
}

std::wstring DeviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& info, const DEVPROPKEY& key) {
  wchar_t text[256] = {};
  DEVPROPTYPE type = 0;
  if (!SetupDiGetDevicePropertyW(devices, &info, &key, &type, reinterpret_cast<BYTE*>(text),
                                 sizeof text - sizeof(wchar_t), nullptr, 0) ||
      type != DEVPROP_TYPE_STRING) {
    return std::wstring();  // older systems, or a device without it
  }
  return text;
}

// The serial number in a USB instance ("USB\VID_0403&PID_6001\A9XYZ"); empty where Windows made
// the last part up itself (it then holds '&').
std::string SerialNumberIn(const std::wstring& instance) {
  if (instance.rfind(L"USB\\", 0) != 0) return std::string();
  const std::size_t last = instance.rfind(L'\\');
  const std::wstring tail = instance.substr(last + 1);
  return tail.find(L'&') == std::wstring::npos ? Utf8(tail) : std::string();
}

// Adds what setup knows of the ports it has in the ports class, and the ports only it knows.
void AddSetupsWord(std::vector<ComPort>& ports) {
  const HDEVINFO devices = SetupDiGetClassDevsW(&PORTS_CLASS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return;  // what setup tells is a courtesy
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
    const std::string name = named ? ComPortName(Utf8(portName)) : std::string();
    if (name.empty()) continue;  // a printer port
    auto port = std::find_if(ports.begin(), ports.end(),
                             [&](const ComPort& known) { return known.name == name; });
    if (port == ports.end()) {
      ComPort found;
      found.name = name;
      ports.push_back(found);
      port = ports.end() - 1;
    }
    port->friendly = StringProperty(devices, info, SPDRP_FRIENDLYNAME);
    port->maker = StringProperty(devices, info, SPDRP_MFG);
    port->busName = Utf8(DeviceProperty(devices, info, DEVPKEY_Device_BusReportedDeviceDesc));
    wchar_t instance[256] = {};
    if (SetupDiGetDeviceInstanceIdW(devices, &info, instance, std::size(instance), nullptr)) {
      port->serialNumber = SerialNumberIn(instance);
    }
    // An FTDI port's own instance is the driver's (FTDIBUS\…); the USB device is its parent.
    if (port->serialNumber.empty()) {
      port->serialNumber = SerialNumberIn(DeviceProperty(devices, info, DEVPKEY_Device_Parent));
    }
  }
  (void)SetupDiDestroyDeviceInfoList(devices);  // ours; nothing depends on it
}

}  // namespace

std::vector<ComPort> FindComPorts() {
  std::vector<ComPort> ports = DriversPorts();
  AddDosNames(ports);
  AddSetupsWord(ports);
  std::sort(ports.begin(), ports.end(), [](const ComPort& a, const ComPort& b) {
    return ComNumber(a.name) < ComNumber(b.name);
  });
  return ports;
}

std::string DescribeComPort(const ComPort& port) {
  std::string text = port.friendly.empty() ? port.name : port.friendly;
  std::string details = port.busName;
  if (!port.serialNumber.empty()) {
    details += (details.empty() ? "" : ", ") + std::string("serial number ") + port.serialNumber;
  }
  if (!port.maker.empty()) details = port.maker + (details.empty() ? "" : ": " + details);
  return details.empty() ? text : text + " \u2014 " + details;
}

bool ComPortPresent(const std::string& name) {
  wchar_t target[512];
  if (QueryDosDeviceW(Wide(name).c_str(), target, static_cast<DWORD>(std::size(target))) != 0) {
    return true;
  }
  // A port only a driver's list or setup knows of is there as well.
  const std::vector<ComPort> ports = FindComPorts();
  return std::any_of(ports.begin(), ports.end(),
                     [&](const ComPort& port) { return port.name == name; });
}

std::string ComPortName(const std::string& text) {
  const std::string name = text.rfind("\\\\.\\", 0) == 0 ? text.substr(4) : text;
  if (name.size() < 4 || name.size() > 6) return std::string();
  std::string upper;
  for (const char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.compare(0, 3, "COM") != 0 || upper[3] < '1' || upper[3] > '9') return std::string();
  for (std::size_t i = 4; i < upper.size(); ++i) {
    if (upper[i] < '0' || upper[i] > '9') return std::string();
  }
  return ComNumber(upper) <= 255 ? upper : std::string();
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0 && WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      utf8.data(), size, nullptr, nullptr) != size) {
    return std::string();
  }
  return utf8;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0 && MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      wide.data(), size) != size) {
    return std::wstring();
  }
  return wide;
}

}  // namespace vannor
