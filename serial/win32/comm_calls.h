// The Win32 calls that the port and its listener make on the serial device, behind one narrow
// interface, so that a test can stand between the port and the driver and play what real drivers
// do. Each member is the Win32 function of the same name with the same meaning (failures leave
// their code for GetLastError), and by default makes it; a test overrides the calls it plays.
// The handle's own events and the listener's thread stay with Windows: they are ours, not the
// driver's.
#pragma once

#include <windows.h>

namespace vannor {

class CommCalls {
 public:
  virtual ~CommCalls() = default;

  // Without security attributes or a template file.
  virtual HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, DWORD disposition,
                             DWORD flags) {
    return ::CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
  }
  virtual BOOL CloseHandle(HANDLE port) { return ::CloseHandle(port); }
  virtual BOOL GetCommState(HANDLE port, DCB* state) { return ::GetCommState(port, state); }
  virtual BOOL SetCommState(HANDLE port, DCB* state) { return ::SetCommState(port, state); }
  virtual BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
    return ::GetCommTimeouts(port, timeouts);
  }
  virtual BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
    return ::SetCommTimeouts(port, timeouts);
  }
  virtual BOOL SetupComm(HANDLE port, DWORD inQueue, DWORD outQueue) {
    return ::SetupComm(port, inQueue, outQueue);
  }
  virtual BOOL PurgeComm(HANDLE port, DWORD flags) { return ::PurgeComm(port, flags); }
  virtual BOOL EscapeCommFunction(HANDLE port, DWORD function) {
    return ::EscapeCommFunction(port, function);
  }
  virtual BOOL SetCommMask(HANDLE port, DWORD mask) { return ::SetCommMask(port, mask); }
  virtual BOOL WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* record) {
    return ::WaitCommEvent(port, events, record);
  }
  virtual BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) {
    return ::ClearCommError(port, errors, status);
  }
  // No count of bytes moved: with an overlapped handle only the record's result is good.
  virtual BOOL ReadFile(HANDLE port, void* buffer, DWORD count, OVERLAPPED* record) {
    return ::ReadFile(port, buffer, count, nullptr, record);
  }
  virtual BOOL WriteFile(HANDLE port, const void* bytes, DWORD count, OVERLAPPED* record) {
    return ::WriteFile(port, bytes, count, nullptr, record);
  }
  virtual BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* record, DWORD* count, BOOL wait) {
    return ::GetOverlappedResult(port, record, count, wait);
  }
  virtual BOOL CancelIoEx(HANDLE port, OVERLAPPED* record) { return ::CancelIoEx(port, record); }
  virtual BOOL DeviceIoControl(HANDLE port, DWORD code, void* in, DWORD inSize, void* out,
                               DWORD outSize, DWORD* returned, OVERLAPPED* record) {
    return ::DeviceIoControl(port, code, in, inSize, out, outSize, returned, record);
  }
};

// Windows' own calls. Holds nothing, so every port may share it.
inline CommCalls& SystemCommCalls() {
  static CommCalls calls;
  return calls;
}

}  // namespace vannor
