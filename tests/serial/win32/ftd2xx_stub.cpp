// ftd2xx.dll for the tests: FTDI's D2XX calls that the line uses, over adapters the test names in
// VANNOR_FTD2XX_ADAPTERS ("COM1=16,COM2=2": each adapter's COM port and latency timer in ms). Every
// change of a timer is appended to the file VANNOR_FTD2XX_LOG as "COMn <ms> (port free)" or
// "(port open)": whether another program could open the COM port at that moment.
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
};

// The stub's own adapters, read from the environment once; a test process is its only user.
struct Adapters {
  Adapter list[8];
  DWORD count = 0;
  Adapters() {
    const char* given = std::getenv("VANNOR_FTD2XX_ADAPTERS");
    for (const char* at = given; at != nullptr && *at != '\0' && count < 8;) {
      long port = 0, timer = 0;
      if (std::sscanf(at, "COM%ld=%ld", &port, &timer) != 2) break;
      list[count++] = Adapter{port, static_cast<UCHAR>(timer), false};
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

void Log(const Adapter& adapter) {
  char path[16];
  std::snprintf(path, sizeof path, "\\\\.\\COM%ld", adapter.comPort);
  const HANDLE port =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const bool free = port != INVALID_HANDLE_VALUE;
  if (free) CloseHandle(port);
  const char* log = std::getenv("VANNOR_FTD2XX_LOG");
  if (log == nullptr) return;
  if (std::FILE* out = std::fopen(log, "a")) {
    std::fprintf(out, "COM%ld %u (%s)\n", adapter.comPort, adapter.timer,
                 free ? "port free" : "port open");
    std::fclose(out);
  }
}

}  // namespace

extern "C" {

__declspec(dllexport) ULONG WINAPI FT_CreateDeviceInfoList(DWORD* count) {
  *count = All().count;
  return FT_OK;
}

__declspec(dllexport) ULONG WINAPI FT_Open(int index, void** handle) {
  if (index < 0 || static_cast<DWORD>(index) >= All().count) return FT_DEVICE_NOT_FOUND;
  All().list[index].open = true;
  *handle = reinterpret_cast<void*>(static_cast<std::uintptr_t>(index) + 1);
  return FT_OK;
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
