#include "serial/win32/win32_port.h"

#include <algorithm>
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
// The most one write call is given: its time-out grows with its length.
constexpr std::size_t WRITE_CHUNK = OUTPUT_QUEUE;
// How long a read of bytes that were waiting may take before it is cancelled: only a port that
// lost them (gone away in between) gets here.
constexpr DWORD READ_PATIENCE_MS = 1000;
// How long a cancelled read or write may keep its record: a driver that keeps it longer has gone
// wrong, and the event thread does not wait for it.
constexpr DWORD CANCEL_PATIENCE_MS = 1000;

// What drivers report for a hiccup on a port that is still there: a call that failed with one
// of these (0: it succeeded but moved nothing) is tried again while the port answers
// ClearCommError, at most TRIES_IN_A_ROW times in a row. Every other code is a port that went
// away: ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE, ERROR_DEVICE_REMOVED and
// the like are what a pulled adapter's driver answers. ERROR_OPERATION_ABORTED is both; the
// ClearCommError of a pulled adapter fails.
constexpr DWORD HICCUPS[] = {
    0,                        // a read or write that moved nothing
    ERROR_INVALID_PARAMETER,  // a wait's result, once, on USB CDC and some vendors' drivers
    ERROR_OPERATION_ABORTED,  // the same
    ERROR_SEM_TIMEOUT,        // a write that ran out of time
    ERROR_COUNTER_TIMEOUT,    // the same, in the serial driver's words
    ERROR_TIMEOUT,
};
constexpr int TRIES_IN_A_ROW = 3;

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

// What IsRawLine reads, set for 38400 baud, 8N1 and a raw 8-bit line: no XON/XOFF, no null
// stripping, no error character, no parity check, and nothing that holds output back or drops
// input on a modem line. The rest stays as given.
DCB RawLine(DCB dcb) {
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = CBR_38400;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fParity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fErrorChar = FALSE;
  // A three-wire cable never raises CTS or DSR: output would never leave, and with DSR
  // sensitivity every received byte would be dropped.
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  return dcb;
}

// The raw line, and what serves it besides where the driver takes it; the rest stays as the
// driver reports it, DTR's mode among them.
bool ConfigureLine(CommCalls& calls, HANDLE port, const DCB& reported) {
  DCB dcb = RawLine(reported);
  dcb.fBinary = TRUE;
  // An error would otherwise stop every read and write until the next ClearCommError.
  dcb.fAbortOnError = FALSE;
  // The tool raises RTS itself, which the driver refuses while RTS serves flow control.
  if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_TOGGLE) {
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
  }
  if (!calls.SetCommState(port, &dcb)) {
    // A cheap adapter's driver refuses a field it has no use for (a modem line's mode, a flow
    // control) with the whole change: the raw line alone, the rest as the driver has it.
    DCB least = RawLine(reported);
    if (!calls.SetCommState(port, &least)) return false;
  }
  // SetCommState may take a part of the change; only the read-back tells.
  DCB back{};
  back.DCBlength = sizeof back;
  return calls.GetCommState(port, &back) && IsRawLine(back);
}

void RestoreAndClose(CommCalls& calls, HANDLE port, DCB state, COMMTIMEOUTS timeouts) {
  // Ignored: a port that went away has no settings left to restore.
  (void)calls.SetCommTimeouts(port, &timeouts);
  (void)calls.SetCommState(port, &state);
  // Ignored: the handle is gone whatever CloseHandle reports, and no read or write is in flight
  // (each is over before Read or Write returns).
  (void)calls.CloseHandle(port);
}

}  // namespace

std::unique_ptr<Win32Port::IoRecord> Win32Port::MakeIoRecord() {
  auto record = std::make_unique<IoRecord>();
  record->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (record->overlapped.hEvent == nullptr) return nullptr;
  return record;
}

void Win32Port::LeaveToDriver(std::unique_ptr<IoRecord>& record) {
  // Never freed: the driver may still write into it, and set its event.
  (void)record.release();
  record = MakeIoRecord();
  // Its every call would do the same: the port counts as gone, and the exchange ends.
  MarkFailed(generation_, WAIT_TIMEOUT);
}

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
  return reason;
}

Win32Port::Win32Port(CommCalls& calls)
    // Without them the port cannot read or write, and Open refuses every port.
    : calls_(calls), read_(MakeIoRecord()), write_(MakeIoRecord()) {}

Win32Port::~Win32Port() {
  Close();
  // Ignored: the events are ours and no I/O names them any more.
  if (write_ != nullptr) (void)CloseHandle(write_->overlapped.hEvent);
  if (read_ != nullptr) (void)CloseHandle(read_->overlapped.hEvent);
}

bool Win32Port::Open(const std::string& path, OpenFailure& failure) {
  Close();
  failure = OpenFailure{.device = path, .reason = {}};
  if (write_ == nullptr || read_ == nullptr) {
    failure.reason = "no events for asynchronous I/O";
    return false;
  }
  // Before the open, as the driver may read the timer when the port opens.
  latency_.Lower(path.c_str());
  // No sharing: a port another program holds does not open, and a second open of ours neither.
  HANDLE port = calls_.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    failure.reason = SystemReason(error);
    // What the code means when a port does not open; an open port that fails so went away.
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
      failure.reason += " \u2014 another program has the port open";
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      failure.reason += " \u2014 no such port on this machine (see Device Manager, Ports)";
    }
    latency_.Restore();
    return false;
  }
  DCB state{};
  state.DCBlength = sizeof state;
  COMMTIMEOUTS timeouts{};
  if (!calls_.GetCommState(port, &state) || !calls_.GetCommTimeouts(port, &timeouts)) {
    failure.reason = "not a serial port: " + SystemReason(GetLastError());
    (void)calls_.CloseHandle(port);  // nothing was changed on it
    latency_.Restore();
    return false;
  }
  // Ignored: a driver with fixed queues keeps its own sizes, which serve just as well.
  (void)calls_.SetupComm(port, INPUT_QUEUE, OUTPUT_QUEUE);
  // Ignored: a port with nothing queued has nothing to drop. Bytes from before the open belong
  // to no exchange of this program.
  (void)calls_.PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
  COMMTIMEOUTS lineTimeouts = LINE_TIMEOUTS;
  if (!calls_.SetCommTimeouts(port, &lineTimeouts) || !ConfigureLine(calls_, port, state)) {
    RestoreAndClose(calls_, port, state, timeouts);
    latency_.Restore();
    failure.reason = "the driver refused 38400 baud 8N1 raw";
    return false;
  }
  // Ignored: a port without RTS still carries the bytes.
  (void)calls_.EscapeCommFunction(port, SETRTS);
  // Without the received-character event the listener would never hear of a byte.
  if (!calls_.SetCommMask(port, EV_RXCHAR)) {
    const DWORD error = GetLastError();
    RestoreAndClose(calls_, port, state, timeouts);
    latency_.Restore();
    failure.reason = "no received-character event: " + SystemReason(error);
    return false;
  }
  // Last, once the port is configured and ours: the open has programmed the FIFO, and nothing
  // of this needs putting back (see fifo_trigger.h).
  LowerReceiveTrigger(calls_, port);
  savedState_ = state;
  savedTimeouts_ = timeouts;
  handle_ = port;
  ++generation_;
  delivered_.store(0);
  return true;
}

void Win32Port::Close() {
  if (handle_ == INVALID_HANDLE_VALUE) return;
  const HANDLE port = handle_;
  handle_ = INVALID_HANDLE_VALUE;
  ++generation_;
  RestoreAndClose(calls_, port, savedState_, savedTimeouts_);
  latency_.Restore();
}

bool Win32Port::MayTryAgain(std::uint32_t generation, DWORD error, int& triesInARow) {
  const bool hiccup = std::find(std::begin(HICCUPS), std::end(HICCUPS), error) != std::end(HICCUPS);
  DWORD errors = 0;
  COMSTAT status{};
  if (hiccup && ++triesInARow <= TRIES_IN_A_ROW &&
      calls_.ClearCommError(handle_, &errors, &status)) {
    return true;
  }
  MarkFailed(generation, error);
  return false;
}

Win32Port::Transfer Win32Port::Finish(BOOL started, OVERLAPPED& record, DWORD patienceMs) {
  Transfer transfer;
  if (!started) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return Transfer{.error = error};
    if (WaitForSingleObject(record.hEvent, patienceMs) != WAIT_OBJECT_0) {
      // Ignored: fails only when the call has just finished by itself, which the wait below sees.
      (void)calls_.CancelIoEx(handle_, &record);
      transfer.overdue = true;
      if (WaitForSingleObject(record.hEvent, CANCEL_PATIENCE_MS) != WAIT_OBJECT_0) {
        transfer.kept = true;
        return transfer;
      }
    }
  }
  // Waits until the driver has let go of the record, done or cancelled.
  if (!calls_.GetOverlappedResult(handle_, &record, &transfer.moved, TRUE)) {
    transfer.error = GetLastError();
  }
  return transfer;
}

bool Win32Port::Write(const std::uint8_t* bytes, std::size_t count) {
  if (handle_ == INVALID_HANDLE_VALUE || Failed() || write_ == nullptr) return false;
  int tries = 0;
  while (count > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min(count, WRITE_CHUNK));
    OVERLAPPED& record = write_->overlapped;
    MakeReady(record);
    // The write time-outs end every write within 10 ms a byte and 100 ms.
    const Transfer sent = Finish(calls_.WriteFile(handle_, bytes, chunk, &record), record,
                                 10 * chunk + 100 + WRITE_GRACE_MS);
    if (sent.kept) {
      LeaveToDriver(write_);
      return false;
    }
    const DWORD taken = std::min(sent.moved, chunk);
    bytes += taken;
    count -= taken;
    // A driver that ignores its time-outs: what it did not take is lost as on a bad line, and
    // the missing echo tells.
    if (count == 0 || sent.overdue) return true;
    // A driver that took part of it, as it may: the rest follows.
    if (taken > 0 && sent.error == 0) {
      tries = 0;
      continue;
    }
    if (!MayTryAgain(generation_, sent.error, tries)) return false;
  }
  return true;
}

void Win32Port::MarkFailed(std::uint32_t generation, DWORD error) {
  // The first call that met the failure tells why; the calls after it only echo it.
  if (failedGeneration_.load() == generation) return;
  // The code first: whoever sees the generation may read it at once.
  failureError_.store(error);
  failedGeneration_.store(generation);
}

void Win32Port::DiscardInput() {
  // Ignored: a port that cannot purge has failed, and its next read or write tells.
  if (handle_ != INVALID_HANDLE_VALUE) (void)calls_.PurgeComm(handle_, PURGE_RXCLEAR);
}

std::size_t Win32Port::PendingCount() {
  if (handle_ == INVALID_HANDLE_VALUE) return 0;
  DWORD errors = 0;
  COMSTAT status{};
  // Also clears a line error (a framing error, an overrun), which would otherwise stay set.
  if (!calls_.ClearCommError(handle_, &errors, &status)) {
    // The device is gone: nothing will ever arrive on this handle again.
    MarkFailed(generation_, GetLastError());
    return 0;
  }
  return status.cbInQue;
}

std::size_t Win32Port::Read(std::uint8_t* buffer, std::size_t count) {
  if (handle_ == INVALID_HANDLE_VALUE || count == 0 || read_ == nullptr) return 0;
  int tries = 0;
  for (;;) {
    // With the read time-outs all 0, a read for more than is waiting would not complete until
    // the rest arrives: never ask for more.
    const std::size_t waiting = PendingCount();
    const DWORD want = static_cast<DWORD>(std::min({count, waiting, sizeof read_->bytes}));
    if (want == 0) return 0;
    OVERLAPPED& record = read_->overlapped;
    MakeReady(record);
    // Into the record's own bytes: a driver that keeps the record would write them later. Only
    // the bytes delivered once the read is over, done or cancelled, count.
    const Transfer got =
        Finish(calls_.ReadFile(handle_, read_->bytes, want, &record), record, READ_PATIENCE_MS);
    if (got.kept) {
      LeaveToDriver(read_);
      return 0;
    }
    const DWORD delivered = std::min(got.moved, want);
    if (delivered > 0 || got.overdue) {
      std::copy(read_->bytes, read_->bytes + delivered, buffer);
      delivered_.fetch_add(delivered);
      return delivered;
    }
    // Nothing of what was waiting: a driver's hiccup (no new event will tell of these bytes),
    // or a port that went away.
    if (!MayTryAgain(generation_, got.error, tries)) return 0;
  }
}

}  // namespace vannor
