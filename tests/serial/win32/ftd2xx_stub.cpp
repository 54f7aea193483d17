// ftd2xx.dll for the tests: FTDI's D2XX calls that the line uses, over adapters the test names in
// VANNOR_FTD2XX_ADAPTERS ("COM1=16/FT01,COM2=2/FT02": each adapter's COM port, latency timer in ms
// and serial number). Every open of an adapter is appended to the file VANNOR_FTD2XX_LOG as
// "COMn opened", every change of a timer as "COMn <ms> (port free)" or "(port open)": whether
// another program could open the COM port at that moment.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr ULONG FT_OK = 0;
constexpr ULONG FT_INVALID_HANDLE = 1;
constexpr ULONG FT_DEVICE_NOT_FOUND = 2;

struct Adapter {
  long comPort = 0;
  UCHAR timer = 0;
  bool open = false;
  char serial[16] = {};
};

// The stub's own adapters, read from the environment once; a test process is its only user.
struct Adapters {
  Adapter list[8];
  DWORD count = 0;
  Adapters() {
    const char* given = std::getenv("VANNOR_FTD2XX_ADAPTERS");
    for (const char* at = given; at != nullptr && *at != '\0' && count < 8;) {
      long port = 0, timer = 0;
      Adapter& adapter = list[count];
      if (std::sscanf(at, "COM%ld=%ld/%15[^,]", &port, &timer, adapter.serial) != 3) break;
      adapter.comPort = port;
      adapter.timer = static_cast<UCHAR>(timer);
      ++count;
      at = std::strchr(at, ',');
      if (at != nullptr) ++at;
    }
  }
};

Adapters& All() {
  static Adapters adapters;
  return adapters;
}

Adapter* FromHandle(void* handle) {
  const auto index = reinterpret_cast<std::uintptr_t>(handle);
  if (index == 0 || index > All().count || !All().list[index - 1].open) return nullptr;
  return &All().list[index - 1];
}

void Append(const char* line) {
  const char* log = std::getenv("VANNOR_FTD2XX_LOG");
  if (log == nullptr) return;
  if (std::FILE* out = std::fopen(log, "a")) {
    std::fputs(line, out);
    std::fclose(out);
  }
}

void Log(const Adapter& adapter) {
  char path[16];
  std::snprintf(path, sizeof path, "\\\\.\\COM%ld", adapter.comPort);
  const HANDLE port =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const bool free = port != INVALID_HANDLE_VALUE;
  if (free) CloseHandle(port);
  char line[64];
  std::snprintf(line, sizeof line, "COM%ld %u (%s)\n", adapter.comPort, adapter.timer,
                free ? "port free" : "port open");
  Append(line);
}

}  // namespace

extern "C" {

// By serial number only (1, FT_OPEN_BY_SERIAL_NUMBER); no adapter is opened by its place in a
// list, which would reach adapters that are not the caller's.
__declspec(dllexport) ULONG WINAPI FT_OpenEx(void* what, DWORD how, void** handle) {
  for (DWORD index = 0; how == 1 && index < All().count; ++index) {
    Adapter& adapter = All().list[index];
    if (std::strcmp(adapter.serial, static_cast<const char*>(what)) != 0) continue;
    adapter.open = true;
    *handle = reinterpret_cast<void*>(static_cast<std::uintptr_t>(index) + 1);
    char line[32];
    std::snprintf(line, sizeof line, "COM%ld opened\n", adapter.comPort);
    Append(line);
    return FT_OK;
  }
  return FT_DEVICE_NOT_FOUND;
}

__declspec(dllexport) ULONG WINAPI FT_GetComPortNumber(void* handle, LONG* comPort) {
  const Adapter* adapter = FromHandle(handle);
  if (adapter == nullptr) return FT_INVALID_HANDLE;
  *comPort = adapter->comPort;
  return FT_OK;
}

__declspec(dllexport) ULONG WINAPI FT_GetLatencyTimer(void* handle, UCHAR* timer) {
  const Adapter* adapter = FromHandle(handle);
  if (adapter == nullptr) return FT_INVALID_HANDLE;
  *timer = adapter->timer;
  return FT_OK;
}

__declspec(dllexport) ULONG WINAPI FT_SetLatencyTimer(void* handle, UCHAR timer) {
  Adapter* adapter = FromHandle(handle);
  if (adapter == nullptr) return FT_INVALID_HANDLE;
  adapter->timer = timer;
  Log(*adapter);
  return FT_OK;
}

__declspec(dllexport) ULONG WINAPI FT_Close(void* handle) {
  Adapter* adapter = FromHandle(handle);
  if (adapter == nullptr) return FT_INVALID_HANDLE;
  adapter->open = false;
  return FT_OK;
}

}  // extern "C"
