// One open serial port on Windows: the handle, opened for overlapped I/O with no sharing, the
// records of its reads and writes, and the settings it had before, put back when it closes. Every
// call on the device goes through the port's CommCalls, and every failed one is judged by
// MayTryAgain: a driver's hiccup is tried again, anything else is a port that went away.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/port_backend.h"
#include "serial/win32/comm_calls.h"
#include "serial/win32/ftdi_latency.h"

namespace vannor {

// A record made ready for the next overlapped call: all fields cleared but its event.
inline void MakeReady(OVERLAPPED& record) {
  const HANDLE event = record.hEvent;
  record = OVERLAPPED{};
  record.hEvent = event;
}

class Win32Port {
 public:
  explicit Win32Port(CommCalls& calls);
  Win32Port(const Win32Port&) = delete;
  Win32Port& operator=(const Win32Port&) = delete;
  ~Win32Port();

  // The calls on the device, for the listener too.
  CommCalls& Calls() { return calls_; }

  // Opens the device ("\\.\COMn") exclusively and configures a raw 38400 8N1 line. False when
  // it did not open; failure then says why. A port that is still open is closed first.
  bool Open(const std::string& path, OpenFailure& failure);
  // Puts the port's settings back and closes it; does nothing when none is open.
  void Close();

  HANDLE Handle() const { return handle_; }
  // The latency timer of the FTDI adapter behind the open port, where known; -1 otherwise.
  int AdapterLatencyMs() const { return handle_ != INVALID_HANDLE_VALUE ? latency_.Timer() : -1; }
  // Counts every change of the handle, so that the listener can tell a new port from the old
  // one even when Windows hands out the old handle's value again.
  std::uint32_t Generation() const { return generation_; }

  // Returns once the driver has taken every byte (a byte's time on a UART, a USB frame on an
  // adapter), so that what a driver took only in part is finished at once. False once the port
  // has failed.
  bool Write(const std::uint8_t* bytes, std::size_t count);
  // What waits in the driver's input queue; a port that does not answer has gone away.
  std::size_t PendingCount();
  std::size_t Read(std::uint8_t* buffer, std::size_t count);
  void DiscardInput();
  // Bytes Read has delivered since the port opened: the listener tells by it whether the
  // character it was told of may have been read already.
  std::uint32_t Delivered() const { return delivered_.load(); }

  // The one decision on a call that failed on the port of `generation` with `error` (0: it
  // succeeded but moved nothing; see serial/README.md, "On Windows"): true when it may be tried
  // again (a driver's hiccup, the port still answers ClearCommError, and the call has failed
  // at most three times in a row, counted in triesInARow); otherwise the port is marked failed
  // with `error`. The event thread's calls, or the listener's under the port lock.
  bool MayTryAgain(std::uint32_t generation, DWORD error, int& triesInARow);

  // The port of `generation` went away (from the listener thread, or the event thread's own
  // calls); `error` is the system's code for it, 0 when it gave none.
  void MarkFailed(std::uint32_t generation, DWORD error);
  bool Failed() const {
    return failedGeneration_.load() == generation_ && handle_ != INVALID_HANDLE_VALUE;
  }
  // The system's code of the failure, 0 when it gave none.
  DWORD FailureError() const { return failureError_.load(); }

 private:
  // The record of a read or a write, and the bytes a read is delivered into: the driver may
  // write both until it lets go of the record. One it kept even when asked to cancel is left to
  // it for good (never reused, never freed) and replaced; the port then counts as gone.
  struct IoRecord {
    OVERLAPPED overlapped{};
    std::uint8_t bytes[4096];
  };
  // A record with an event of its own; null when Windows has no event to give.
  static std::unique_ptr<IoRecord> MakeIoRecord();
  void LeaveToDriver(std::unique_ptr<IoRecord>& record);
  // How an overlapped read or write ended.
  struct Transfer {
    DWORD error = 0;       // the system's code; 0 when it succeeded
    DWORD moved = 0;       // bytes read or written
    bool overdue = false;  // not over within its time, and cancelled by the port
    bool kept = false;     // the driver kept the record even after the cancel
  };
  // Waits, at most patienceMs, for the read or write that `started` (the call's result) began
  // with `record`, cancels it after that, and waits (a bounded time) until the driver has let go
  // of the record.
  Transfer Finish(BOOL started, OVERLAPPED& record, DWORD patienceMs);

  CommCalls& calls_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::uint32_t generation_ = 0;
  // The generation of the port that failed; written by the listener, read by the window.
  std::atomic<std::uint32_t> failedGeneration_{0};
  std::atomic<DWORD> failureError_{0};
  std::atomic<std::uint32_t> delivered_{0};
  // An FTDI adapter's latency timer, lowered while the port is open.
  FtdiLatency latency_;
  // The settings from before the open, put back at close.
  DCB savedState_{};
  COMMTIMEOUTS savedTimeouts_{};

  // The records of the read and the write; each completes before Read or Write returns.
  std::unique_ptr<IoRecord> read_;
  std::unique_ptr<IoRecord> write_;
};

// The system's words for a Windows error code, in UTF-8, with the code.
std::string SystemReason(DWORD error);

}  // namespace vannor
