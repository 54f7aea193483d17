#include "serial/win32/win32_port.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "serial/win32/fifo_trigger.h"

namespace vannor {

namespace {

// Read time-outs all 0: a read completes only when every byte asked for has come, and Read never
// asks for more than is waiting. Writes may take 10 ms a byte and 100 ms more, so that a line
// held up by the far end cannot hold a write for ever.
constexpr COMMTIMEOUTS LINE_TIMEOUTS = {
    .ReadIntervalTimeout = 0,
    .ReadTotalTimeoutMultiplier = 0,
    .ReadTotalTimeoutConstant = 0,
    .WriteTotalTimeoutMultiplier = 10,
    .WriteTotalTimeoutConstant = 100,
};

// The driver's queues: far more than the one byte in flight that an exchange keeps.
constexpr DWORD INPUT_QUEUE = 4096;
constexpr DWORD OUTPUT_QUEUE = 4096;

// Beyond the write time-outs, how long a write may stay in flight before it is cancelled: only
// a driver that ignores its time-outs gets here.
constexpr DWORD WRITE_GRACE_MS = 1000;
// How long a read of bytes that were waiting may take before it is cancelled: only a port that
// lost them (gone away in between) gets here.
constexpr DWORD READ_PATIENCE_MS = 1000;

std::string Utf8(const wchar_t* text, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr) != size) {
    return std::string();
  }
  return utf8;
}

// Whether the driver took the settings that decide what crosses the line; the rest (the special
// characters, DTR's mode) is the driver's own business.
bool IsRawLine(const DCB& dcb) {
  return dcb.BaudRate == CBR_38400 && dcb.ByteSize == 8 && dcb.Parity == NOPARITY &&
         dcb.StopBits == ONESTOPBIT && !dcb.fParity && !dcb.fOutX && !dcb.fInX && !dcb.fNull &&
         !dcb.fErrorChar && !dcb.fOutxCtsFlow && !dcb.fOutxDsrFlow && !dcb.fDsrSensitivity;
}

// 38400 baud, 8N1, and a raw 8-bit line: no XON/XOFF, no null stripping, no error character,
// no parity check, and nothing that holds output back or drops input on a modem line. The rest
// stays as the driver reports it, DTR's mode among them.
bool ConfigureLine(HANDLE port, const DCB& reported) {
  DCB dcb = reported;
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = CBR_38400;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fErrorChar = FALSE;
  // An error would otherwise stop every read and write until the next ClearCommError.
  dcb.fAbortOnError = FALSE;
  // A three-wire cable never raises CTS or DSR: output would never leave, and with DSR
  // sensitivity every received byte would be dropped.
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  // The tool raises RTS itself, which the driver refuses while RTS serves flow control.
  if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_TOGGLE) {
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
  }
  if (!SetCommState(port, &dcb)) return false;
  // SetCommState may take a part of the change; only the read-back tells.
  DCB back{};
  back.DCBlength = sizeof back;
  return GetCommState(port, &back) && IsRawLine(back);
}

void RestoreAndClose(HANDLE port, DCB state, COMMTIMEOUTS timeouts) {
  // Ignored: a port that went away has no settings left to restore.
  (void)SetCommTimeouts(port, &timeouts);
  (void)SetCommState(port, &state);
  // Ignored: the handle is gone whatever CloseHandle reports, and nothing unsent is waiting for
  // it (the write in flight has finished).
  (void)CloseHandle(port);
}

// A manual-reset event for an I/O record; null when Windows has none to give.
HANDLE MakeRecordEvent() {
  return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

}  // namespace

std::string SystemReason(DWORD error) {
  wchar_t text[512];
  // MAX_WIDTH_MASK: one line, without the line break the messages end with.
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, error, 0, text, static_cast<DWORD>(std::size(text)), nullptr);
  std::string reason = length > 0 ? Utf8(text, static_cast<int>(length)) : std::string();
  while (!reason.empty() && (reason.back() == ' ' || reason.back() == '.')) reason.pop_back();
  if (reason.empty()) reason = "Windows error";
  reason += " (error " + std::to_string(error) + ")";
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
    reason += " \u2014 another program has the port open";
  } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    reason += " \u2014 no such port on this machine (see Device Manager, Ports)";
  }
  return reason;
}

Win32Port::Win32Port() {
  // Without events the records cannot be waited on, and Open refuses every port.
  writeOverlapped_.hEvent = MakeRecordEvent();
  readOverlapped_.hEvent = MakeRecordEvent();
}

Win32Port::~Win32Port() {
  Close();
  // Ignored: the events are ours and no I/O names them any more.
  if (writeOverlapped_.hEvent != nullptr) (void)CloseHandle(writeOverlapped_.hEvent);
  if (readOverlapped_.hEvent != nullptr) (void)CloseHandle(readOverlapped_.hEvent);
}

bool Win32Port::Open(const std::string& path, OpenFailure& failure) {
  Close();
  failure = OpenFailure{.device = path, .reason = {}};
  if (writeOverlapped_.hEvent == nullptr || readOverlapped_.hEvent == nullptr) {
    failure.reason = "no events for asynchronous I/O";
    return false;
  }
  // Before the open, as the driver may read the timer when the port opens.
  latency_.Lower(path.c_str());
  // No sharing: a port another program holds does not open, and a second open of ours neither.
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    failure.reason = SystemReason(GetLastError());
    latency_.Restore();
    return false;
  }
  DCB state{};
  state.DCBlength = sizeof state;
  COMMTIMEOUTS timeouts{};
  if (!GetCommState(port, &state) || !GetCommTimeouts(port, &timeouts)) {
    failure.reason = "not a serial port: " + SystemReason(GetLastError());
    (void)CloseHandle(port);  // nothing was changed on it
    latency_.Restore();
    return false;
  }
  // Ignored: a driver with fixed queues keeps its own sizes, which serve just as well.
  (void)SetupComm(port, INPUT_QUEUE, OUTPUT_QUEUE);
  // Ignored: a port with nothing queued has nothing to drop. Bytes from before the open belong
  // to no exchange of this program.
  (void)PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
  COMMTIMEOUTS lineTimeouts = LINE_TIMEOUTS;
  if (!SetCommTimeouts(port, &lineTimeouts) || !ConfigureLine(port, state)) {
    RestoreAndClose(port, state, timeouts);
    latency_.Restore();
    failure.reason = "the driver refused 38400 baud 8N1 raw";
    return false;
  }
  // Ignored: a port without RTS still carries the bytes.
  (void)EscapeCommFunction(port, SETRTS);
  // Without the received-character event the listener would never hear of a byte.
  if (!SetCommMask(port, EV_RXCHAR)) {
    const DWORD error = GetLastError();
    RestoreAndClose(port, state, timeouts);
    latency_.Restore();
    failure.reason = "no received-character event: " + SystemReason(error);
    return false;
  }
  // Last, once the port is configured and ours: the open has programmed the FIFO, and nothing
  // of this needs putting back (see fifo_trigger.h).
  LowerReceiveTrigger(port);
  savedState_ = state;
  savedTimeouts_ = timeouts;
  handle_ = port;
  ++generation_;
  return true;
}

void Win32Port::Close() {
  if (handle_ == INVALID_HANDLE_VALUE) return;
  // The write in flight names this port and this record: it ends before either goes.
  FinishWrite();
  const HANDLE port = handle_;
  handle_ = INVALID_HANDLE_VALUE;
  ++generation_;
  RestoreAndClose(port, savedState_, savedTimeouts_);
  latency_.Restore();
}

void Win32Port::FinishWrite() {
  if (!writeInFlight_) return;
  // The write time-outs end every write within 10 ms a byte and 100 ms: after an echo, the byte
  // it answers has long left, and this returns at once.
  const DWORD bound = 10 * writeCount_ + 100 + WRITE_GRACE_MS;
  if (WaitForSingleObject(writeOverlapped_.hEvent, bound) != WAIT_OBJECT_0) {
    // Ignored: fails only when the write has just finished by itself, which the wait below sees.
    (void)CancelIoEx(handle_, &writeOverlapped_);
  }
  DWORD written = 0;
  // Waits until the driver has let go of the record, done or cancelled. A byte that did not
  // leave in time shows as a missing echo, which the engine's time-out reports; a write the
  // device refused means it went away.
  if (!GetOverlappedResult(handle_, &writeOverlapped_, &written, TRUE)) {
    const DWORD error = GetLastError();
    if (error != ERROR_OPERATION_ABORTED) MarkFailed(generation_, error);
  }
  writeInFlight_ = false;
}

bool Win32Port::Write(const std::uint8_t* bytes, std::size_t count) {
  if (handle_ == INVALID_HANDLE_VALUE || Failed()) return false;
  while (count > 0) {
    // One record serves all writes, and the driver owns it until the previous write is over.
    FinishWrite();
    if (Failed()) return false;
    const std::size_t chunk = std::min(count, WRITE_CHUNK);
    std::memcpy(writeBytes_, bytes, chunk);
    writeCount_ = static_cast<DWORD>(chunk);
    const HANDLE event = writeOverlapped_.hEvent;
    writeOverlapped_ = OVERLAPPED{};
    writeOverlapped_.hEvent = event;
    // No count of bytes written: with an overlapped handle only the record's result is good.
    if (WriteFile(handle_, writeBytes_, writeCount_, nullptr, &writeOverlapped_)) {
      writeInFlight_ = false;
    } else if (GetLastError() == ERROR_IO_PENDING) {
      writeInFlight_ = true;
    } else {
      // The port went away.
      MarkFailed(generation_, GetLastError());
      return false;
    }
    bytes += chunk;
    count -= chunk;
  }
  return true;
}

void Win32Port::MarkFailed(std::uint32_t generation, DWORD error) {
  // The code first: whoever sees the generation may read it at once.
  failureError_.store(error);
  failedGeneration_.store(generation);
}

void Win32Port::DiscardInput() {
  // Ignored: a port that cannot purge has failed, and its next read or write tells.
  if (handle_ != INVALID_HANDLE_VALUE) (void)PurgeComm(handle_, PURGE_RXCLEAR);
}

std::size_t Win32Port::PendingCount() {
  if (handle_ == INVALID_HANDLE_VALUE) return 0;
  DWORD errors = 0;
  COMSTAT status{};
  // Also clears a line error (a framing error, an overrun), which would otherwise stay set.
  if (!ClearCommError(handle_, &errors, &status)) {
    // The device is gone: nothing will ever arrive on this handle again.
    MarkFailed(generation_, GetLastError());
    return 0;
  }
  return status.cbInQue;
}

std::size_t Win32Port::Read(std::uint8_t* buffer, std::size_t count) {
  if (handle_ == INVALID_HANDLE_VALUE || count == 0) return 0;
  // With the read time-outs all 0, a read for more than is waiting would not complete until
  // the rest arrives: never ask for more.
  const std::size_t waiting = PendingCount();
  const DWORD want = static_cast<DWORD>(std::min({count, waiting, std::size_t{0x7FFFFFFF}}));
  if (want == 0) return 0;
  const HANDLE event = readOverlapped_.hEvent;
  readOverlapped_ = OVERLAPPED{};
  readOverlapped_.hEvent = event;
  if (!ReadFile(handle_, buffer, want, nullptr, &readOverlapped_)) {
    if (GetLastError() != ERROR_IO_PENDING) {
      MarkFailed(generation_, GetLastError());  // the port went away
      return 0;
    }
    if (WaitForSingleObject(event, READ_PATIENCE_MS) != WAIT_OBJECT_0) {
      // Ignored: fails only when the read has just finished by itself.
      (void)CancelIoEx(handle_, &readOverlapped_);
    }
  }
  // The read is over, done or cancelled, before its bytes are handed on and before the caller's
  // buffer may go: only the bytes delivered count.
  DWORD got = 0;
  if (!GetOverlappedResult(handle_, &readOverlapped_, &got, TRUE) && got == 0) return 0;
  return std::min<std::size_t>(got, want);
}

}  // namespace vannor
