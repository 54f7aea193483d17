// The Win32 calls that the port and its listener make on the serial device, behind one narrow
// interface, so that a test can stand between the port and the driver and play what real drivers
// do. Each member is the Win32 function of the same name with the same meaning (failures leave
// their code for GetLastError); the system's own calls are the default. The handle's own events
// and the listener's thread stay with Windows: they are ours, not the driver's.
#pragma once

#include <windows.h>

namespace vannor {

class CommCalls {
 public:
  // Without security attributes or a template file.
  virtual HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, DWORD disposition,
                             DWORD flags) = 0;
  virtual BOOL CloseHandle(HANDLE port) = 0;
  virtual BOOL GetCommState(HANDLE port, DCB* state) = 0;
  virtual BOOL SetCommState(HANDLE port, DCB* state) = 0;
  virtual BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) = 0;
  virtual BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) = 0;
  virtual BOOL SetupComm(HANDLE port, DWORD inQueue, DWORD outQueue) = 0;
  virtual BOOL PurgeComm(HANDLE port, DWORD flags) = 0;
  virtual BOOL EscapeCommFunction(HANDLE port, DWORD function) = 0;
  virtual BOOL SetCommMask(HANDLE port, DWORD mask) = 0;
  virtual BOOL WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* record) = 0;
  virtual BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) = 0;
  virtual BOOL ReadFile(HANDLE port, void* buffer, DWORD count, OVERLAPPED* record) = 0;
  virtual BOOL WriteFile(HANDLE port, const void* bytes, DWORD count, OVERLAPPED* record) = 0;
  virtual BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* record, DWORD* count, BOOL wait) = 0;
  virtual BOOL CancelIoEx(HANDLE port, OVERLAPPED* record) = 0;
  virtual BOOL DeviceIoControl(HANDLE port, DWORD code, void* in, DWORD inSize, void* out,
                               DWORD outSize, DWORD* returned, OVERLAPPED* record) = 0;

 protected:
  ~CommCalls() = default;
};

// Windows' own calls. Holds nothing, so every port may share it.
CommCalls& SystemCommCalls();

}  // namespace vannor
