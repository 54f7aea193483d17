#include "serial/win32/ftdi_latency.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "serial/adapter_latency.h"

namespace vannor {

namespace {

// D2XX's calls, as FTDI's programmer's guide gives them; FT_OK is 0.
using FtStatus = ULONG;
using FtHandle = void*;
using OpenExFn = FtStatus(WINAPI*)(void* what, DWORD how, FtHandle* handle);
using GetComPortNumberFn = FtStatus(WINAPI*)(FtHandle handle, LONG* comPort);
using GetLatencyTimerFn = FtStatus(WINAPI*)(FtHandle handle, UCHAR* timer);
using SetLatencyTimerFn = FtStatus(WINAPI*)(FtHandle handle, UCHAR timer);
using CloseFn = FtStatus(WINAPI*)(FtHandle handle);
constexpr FtStatus FT_OK = 0;
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;

// The timer the adapter gets, and the highest it may keep.
constexpr UCHAR LOW_TIMER_MS = 1;
constexpr UCHAR HIGHEST_KEPT_MS = 2;

// The n of "\\.\COMn" or "COMn"; 0 for anything else.
long ComPortNumber(const char* path) {
  const char* name = std::strncmp(path, "\\\\.\\", 4) == 0 ? path + 4 : path;
  if (std::strncmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '9') return 0;
  char* end = nullptr;
  const long number = std::strtol(name + 3, &end, 10);
  return *end == '\0' ? number : 0;
}

// FTDI's driver keeps each adapter's settings under Enum\FTDIBUS\<adapter>\<instance>\Device
// Parameters: PortName ("COM3") and LatencyTimer (ms). The adapter's key names it as
// "VID_0403+PID_6001+<serial number><port letter>".
struct DriverEntry {
  std::wstring adapter;  // the adapter's key; empty when no adapter names the port
  int latencyTimer = -1;
};

DriverEntry DriverEntryOf(long comPort) {
  DriverEntry entry;
  HKEY bus = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS", 0, KEY_READ,
                    &bus) != ERROR_SUCCESS) {
    return entry;  // no FTDI adapter was ever installed
  }
  wchar_t wanted[16];
  std::swprintf(wanted, 16, L"COM%ld", comPort);
  wchar_t adapter[256];
  for (DWORD i = 0; entry.adapter.empty(); ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(bus, i, adapter, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    HKEY instances = nullptr;
    if (RegOpenKeyExW(bus, adapter, 0, KEY_READ, &instances) != ERROR_SUCCESS) continue;
    wchar_t instance[256];
    for (DWORD j = 0; entry.adapter.empty(); ++j) {
      DWORD instanceLength = 256;
      if (RegEnumKeyExW(instances, j, instance, &instanceLength, nullptr, nullptr, nullptr,
                        nullptr) != ERROR_SUCCESS) {
        break;
      }
      wchar_t portName[32] = {};
      DWORD nameBytes = sizeof portName - sizeof(wchar_t);
      const std::wstring parameters = std::wstring(instance) + L"\\Device Parameters";
      if (RegGetValueW(instances, parameters.c_str(), L"PortName", RRF_RT_REG_SZ, nullptr, portName,
                       &nameBytes) != ERROR_SUCCESS ||
          _wcsicmp(portName, wanted) != 0) {
        continue;
      }
      entry.adapter = adapter;
      DWORD timer = 0;
      DWORD timerBytes = sizeof timer;
      if (RegGetValueW(instances, parameters.c_str(), L"LatencyTimer", RRF_RT_REG_DWORD, nullptr,
                       &timer, &timerBytes) == ERROR_SUCCESS) {
        entry.latencyTimer = static_cast<int>(timer);
      }
    }
    (void)RegCloseKey(instances);  // read-only: nothing to lose
  }
  (void)RegCloseKey(bus);  // read-only: nothing to lose
  return entry;
}

// The serial numbers D2XX may know the adapter by, from its key: a chip with several ports has
// the port's letter in its serial number ("FT1234A"), one with a single port has not.
std::vector<std::string> SerialNumbersIn(const std::wstring& adapter) {
  const std::size_t plus = adapter.rfind(L'+');
  if (plus == std::wstring::npos || adapter.size() - plus < 3) return {};
  std::string serial;
  // Serial numbers are ASCII letters and digits; anything else is no key of FTDI's driver.
  for (const wchar_t c : adapter.substr(plus + 1)) {
    if (c > 0x7F) return {};
    serial += static_cast<char>(c);
  }
  return {serial, serial.substr(0, serial.size() - 1)};
}

template <typename Fn>
Fn As(FARPROC function) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(function));
}

}  // namespace

std::string_view LatencyAdvice() {
  return "set it to 1 ms: Device Manager, the port's Properties, Port Settings, Advanced, "
         "Latency Timer";
}

FtdiLatency::~FtdiLatency() {
  Restore();
  // Ignored: nothing of the library is in use any more.
  if (library_ != nullptr) (void)FreeLibrary(library_);
}

bool FtdiLatency::Load() {
  if (loadTried_) return library_ != nullptr;
  loadTried_ = true;
  // Where FTDI's driver package puts it (the system folder) or beside the program, never the
  // current folder, where anybody's file of that name could sit.
  library_ = LoadLibraryExW(L"ftd2xx.dll", nullptr,
                            LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
  if (library_ == nullptr) return false;
  openEx_ = GetProcAddress(library_, "FT_OpenEx");
  getComPortNumber_ = GetProcAddress(library_, "FT_GetComPortNumber");
  getLatencyTimer_ = GetProcAddress(library_, "FT_GetLatencyTimer");
  setLatencyTimer_ = GetProcAddress(library_, "FT_SetLatencyTimer");
  close_ = GetProcAddress(library_, "FT_Close");
  if (openEx_ != nullptr && getComPortNumber_ != nullptr && getLatencyTimer_ != nullptr &&
      setLatencyTimer_ != nullptr && close_ != nullptr) {
    return true;
  }
  // Ignored: a library without these calls is not one we can use, and nothing of it is held.
  (void)FreeLibrary(library_);
  library_ = nullptr;
  return false;
}

void* FtdiLatency::OpenAdapter(long comPort) {
  // Only the adapter the driver names for this port, by its serial number: another adapter,
  // which another program may be about to open, is never touched.
  for (std::string serial : SerialNumbersIn(DriverEntryOf(comPort).adapter)) {
    FtHandle adapter = nullptr;
    if (As<OpenExFn>(openEx_)(serial.data(), FT_OPEN_BY_SERIAL_NUMBER, &adapter) != FT_OK) continue;
    LONG port = -1;
    if (As<GetComPortNumberFn>(getComPortNumber_)(adapter, &port) == FT_OK && port == comPort) {
      return adapter;
    }
    // Ignored: an adapter we only looked at; nothing was changed on it.
    (void)As<CloseFn>(close_)(adapter);
  }
  return nullptr;
}

void FtdiLatency::Lower(const char* path) {
  Restore();
  timer_ = -1;
  const long comPort = ComPortNumber(path);
  if (comPort == 0) return;
  FtHandle adapter = Load() ? OpenAdapter(comPort) : nullptr;
  if (adapter == nullptr) {
    // Without D2XX only the driver's setting tells.
    timer_ = DriverEntryOf(comPort).latencyTimer;
    return;
  }
  UCHAR timer = 0;
  if (As<GetLatencyTimerFn>(getLatencyTimer_)(adapter, &timer) == FT_OK) {
    timer_ = timer;
    if (timer > HIGHEST_KEPT_MS &&
        As<SetLatencyTimerFn>(setLatencyTimer_)(adapter, LOW_TIMER_MS) == FT_OK) {
      loweredPort_ = comPort;
      oldTimer_ = timer;
      timer_ = LOW_TIMER_MS;
    }
  }
  // Ignored: the timer is set (or left) already; the handle only served to set it.
  (void)As<CloseFn>(close_)(adapter);
}

void FtdiLatency::Restore() {
  if (loweredPort_ == 0) return;
  // Found again by its port: the list may have changed while the port was open.
  FtHandle adapter = OpenAdapter(loweredPort_);
  loweredPort_ = 0;
  // Gone meanwhile (unplugged): it starts with its own setting when it comes back.
  if (adapter == nullptr) return;
  // Ignored: an adapter that refuses its old value keeps 1 ms, which only makes it faster,
  // until it is plugged in again.
  (void)As<SetLatencyTimerFn>(setLatencyTimer_)(adapter, oldTimer_);
  (void)As<CloseFn>(close_)(adapter);
}

}  // namespace vannor
