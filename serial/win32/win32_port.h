// One open serial port on Windows: the handle, opened for overlapped I/O with no sharing, the
// records of its reads and writes, and the settings it had before, put back when it closes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/port_backend.h"
#include "serial/win32/ftdi_latency.h"

namespace vannor {

class Win32Port {
 public:
  Win32Port();
  Win32Port(const Win32Port&) = delete;
  Win32Port& operator=(const Win32Port&) = delete;
  ~Win32Port();

  // Opens the device ("\\.\COMn") exclusively and configures a raw 38400 8N1 line. False when
  // it did not open; failure then says why. A port that is still open is closed first.
  bool Open(const std::string& path, OpenFailure& failure);
  // Lets the write in flight finish, puts the port's settings back and closes it; does nothing
  // when none is open.
  void Close();

  HANDLE Handle() const { return handle_; }
  // The latency timer of the FTDI adapter behind the open port, where known; -1 otherwise.
  int AdapterLatencyMs() const { return handle_ != INVALID_HANDLE_VALUE ? latency_.Timer() : -1; }
  // Counts every change of the handle, so that the listener can tell a new port from the old
  // one even when Windows hands out the old handle's value again.
  std::uint32_t Generation() const { return generation_; }

  // False once the port has failed.
  bool Write(const std::uint8_t* bytes, std::size_t count);
  std::size_t PendingCount();
  std::size_t Read(std::uint8_t* buffer, std::size_t count);
  void DiscardInput();

  // The port of `generation` went away (from the listener thread, or the event thread's own
  // calls); `error` is the system's code for it, 0 when it gave none.
  void MarkFailed(std::uint32_t generation, DWORD error);
  bool Failed() const {
    return failedGeneration_.load() == generation_ && handle_ != INVALID_HANDLE_VALUE;
  }
  // The system's code of the failure, 0 when it gave none.
  DWORD FailureError() const { return failureError_.load(); }

 private:
  // Waits for the write in flight, if any, so that its record and bytes may be used again.
  void FinishWrite();

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::uint32_t generation_ = 0;
  // The generation of the port that failed; written by the listener, read by the window.
  std::atomic<std::uint32_t> failedGeneration_{0};
  std::atomic<DWORD> failureError_{0};
  // An FTDI adapter's latency timer, lowered while the port is open.
  FtdiLatency latency_;
  // The settings from before the open, put back at close.
  DCB savedState_{};
  COMMTIMEOUTS savedTimeouts_{};

  // The one write record. A write is not awaited, so its bytes live here, not in the caller's
  // buffer, until the driver has finished with them.
  static constexpr std::size_t WRITE_CHUNK = 256;
  OVERLAPPED writeOverlapped_{};
  std::uint8_t writeBytes_[WRITE_CHUNK] = {};
  DWORD writeCount_ = 0;
  bool writeInFlight_ = false;

  // The read record; a read always completes before Read returns.
  OVERLAPPED readOverlapped_{};
};

// The system's words for a Windows error code, in UTF-8, with a hint where one helps.
std::string SystemReason(DWORD error);

}  // namespace vannor
