#include "serial/win32/fifo_trigger.h"

#include <winioctl.h>

namespace vannor {

namespace {

// ntddser.h's, which needs the driver kit's headers around it.
constexpr DWORD SET_FIFO_CONTROL =
    CTL_CODE(FILE_DEVICE_SERIAL_PORT, 39, METHOD_BUFFERED, FILE_ANY_ACCESS);

// Serial drivers answer at once; one that does not is given this long, then left as it is.
constexpr DWORD PATIENCE_MS = 1000;

}  // namespace

void LowerReceiveTrigger(CommCalls& calls, HANDLE port) {
  // The FIFO on and both trigger bits clear: the receive interrupt at every byte. No reset bit:
  // nothing that has arrived is dropped.
  ULONG control = SERIAL_IOC_FCR_FIFO_ENABLE;
  OVERLAPPED record{};
  // The handle is overlapped: the request needs a record with an event of its own.
  record.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (record.hEvent == nullptr) return;  // no record, no request: the port runs as before
  DWORD returned = 0;
  if (!calls.DeviceIoControl(port, SET_FIFO_CONTROL, &control, sizeof control, nullptr, 0,
                             &returned, &record) &&
      GetLastError() == ERROR_IO_PENDING) {
    if (WaitForSingleObject(record.hEvent, PATIENCE_MS) != WAIT_OBJECT_0) {
      // Ignored: fails only when the request has just finished by itself.
      (void)calls.CancelIoEx(port, &record);
    }
    // Ignored: done, refused or cancelled, the port is as usable as before; this waits until the
    // driver has let go of the record.
    (void)calls.GetOverlappedResult(port, &record, &returned, TRUE);
  }
  // Any other failure is a refusal: nothing was changed.
  (void)CloseHandle(record.hEvent);  // ours, and no request names it any more
}

}  // namespace vannor
