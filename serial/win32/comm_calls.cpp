#include "serial/win32/comm_calls.h"

namespace vannor {

namespace {

class SystemCalls final : public CommCalls {
 public:
  HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) override {
    return ::CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
  }
  BOOL CloseHandle(HANDLE port) override { return ::CloseHandle(port); }
  BOOL GetCommState(HANDLE port, DCB* state) override { return ::GetCommState(port, state); }
  BOOL SetCommState(HANDLE port, DCB* state) override { return ::SetCommState(port, state); }
  BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override {
    return ::GetCommTimeouts(port, timeouts);
  }
  BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override {
    return ::SetCommTimeouts(port, timeouts);
  }
  BOOL SetupComm(HANDLE port, DWORD inQueue, DWORD outQueue) override {
    return ::SetupComm(port, inQueue, outQueue);
  }
  BOOL PurgeComm(HANDLE port, DWORD flags) override { return ::PurgeComm(port, flags); }
  BOOL EscapeCommFunction(HANDLE port, DWORD function) override {
    return ::EscapeCommFunction(port, function);
  }
  BOOL SetCommMask(HANDLE port, DWORD mask) override { return ::SetCommMask(port, mask); }
  BOOL WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* record) override {
    return ::WaitCommEvent(port, events, record);
  }
  BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) override {
    return ::ClearCommError(port, errors, status);
  }
  // No count of bytes moved: with an overlapped handle only the record's result is good.
  BOOL ReadFile(HANDLE port, void* buffer, DWORD count, OVERLAPPED* record) override {
    return ::ReadFile(port, buffer, count, nullptr, record);
  }
  BOOL WriteFile(HANDLE port, const void* bytes, DWORD count, OVERLAPPED* record) override {
    return ::WriteFile(port, bytes, count, nullptr, record);
  }
  BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* record, DWORD* count, BOOL wait) override {
    return ::GetOverlappedResult(port, record, count, wait);
  }
  BOOL CancelIoEx(HANDLE port, OVERLAPPED* record) override { return ::CancelIoEx(port, record); }
  BOOL DeviceIoControl(HANDLE port, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* returned, OVERLAPPED* record) override {
    return ::DeviceIoControl(port, code, in, inSize, out, outSize, returned, record);
  }
};

}  // namespace

CommCalls& SystemCommCalls() {
  // Stateless: one for the whole program, made on first use.
  static SystemCalls calls;
  return calls;
}

}  // namespace vannor
