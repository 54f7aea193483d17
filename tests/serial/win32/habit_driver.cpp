#include "tests/serial/win32/habit_driver.h"

namespace vannor::test {

namespace {

// The I/O status a record carries, as GetOverlappedResult reads it.
constexpr ULONG_PTR DONE = 0;
constexpr ULONG_PTR PENDING = 0x103;
constexpr ULONG_PTR CANCELLED = 0xC0000120;   // GetOverlappedResult: ERROR_OPERATION_ABORTED
constexpr ULONG_PTR IO_TIMEOUT = 0xC00000B5;  // GetOverlappedResult: ERROR_SEM_TIMEOUT

CommCalls& Wine() {
  return SystemCommCalls();
}

// What waits in Wine's input queue now.
DWORD Queued(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  return Wine().ClearCommError(port, &errors, &status) ? status.cbInQue : 0;
}

// Ends an overlapped call as a driver does: its status and count, then its event.
void Complete(OVERLAPPED* record, ULONG_PTR status, ULONG_PTR moved) {
  record->Internal = status;
  record->InternalHigh = moved;
  (void)SetEvent(record->hEvent);  // the port's own event
}

// The call began and has ended at once: the port reads the record's result.
BOOL Pending(OVERLAPPED* record, ULONG_PTR status, ULONG_PTR moved) {
  Complete(record, status, moved);
  SetLastError(ERROR_IO_PENDING);
  return FALSE;
}

BOOL Refuse(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

int HabitDriver::Played() {
  std::lock_guard<std::mutex> lock(mutex_);
  return played_;
}

std::optional<std::chrono::steady_clock::time_point> HabitDriver::RemovedAt() {
  std::lock_guard<std::mutex> lock(mutex_);
  return removedAt_;
}

bool HabitDriver::Removed(std::optional<FirstMet> call, HANDLE port) {
  if (spec_.habit != Habit::Removal) return false;
  if (!removed_ && writes_ > REMOVAL_AFTER_WRITES && call == spec_.firstMet) {
    removed_ = true;
    removedAt_ = std::chrono::steady_clock::now();
    ++played_;
    // A pulled adapter ends the wait it had. Wine's wait ends for a new mask (its cancel may
    // leave the record unfilled); the wait's result then fails as removed.
    if (parked_) EndParked(CANCELLED);
    (void)Wine().SetCommMask(port, 0);  // no wait pending: nothing to end
  }
  if (removed_) SetLastError(spec_.error);
  return removed_;
}

void HabitDriver::Woke(HANDLE port, DWORD events) {
  announced_ = taken_ + Queued(port);
  if (spec_.habit == Habit::CountLagsTheEvent && (events & EV_RXCHAR) != 0) hideCount_ = true;
}

void HabitDriver::Unpark(DWORD taken) {
  taken_ += taken;
  // Ended as a new mask ends a wait: the listener looks, and waits again from its own thread
  // (Wine refuses a wait while one another thread started has not been wound up).
  if (parked_) EndParked(DONE);
}

void HabitDriver::EndParked(DWORD status) {
  parked_ = false;
  *waitEvents_ = 0;
  Complete(waitRecord_, status, sizeof(DWORD));
}

HANDLE HabitDriver::CreateFileA(LPCSTR path, DWORD access, DWORD share, DWORD disposition,
                                DWORD flags) {
  return Wine().CreateFileA(path, access, share, disposition, flags);
}

BOOL HabitDriver::CloseHandle(HANDLE port) {
  return Wine().CloseHandle(port);
}

BOOL HabitDriver::GetCommState(HANDLE port, DCB* state) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Removed(std::nullopt, port)) return FALSE;
  if (!Wine().GetCommState(port, state)) return FALSE;
  if (spec_.habit == Habit::RefusesTheRtsMode) state->fRtsControl = RTS_CONTROL_HANDSHAKE;
  return TRUE;
}

BOOL HabitDriver::SetCommState(HANDLE port, DCB* state) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Removed(std::nullopt, port)) return FALSE;
  if (spec_.habit != Habit::RefusesTheRtsMode) return Wine().SetCommState(port, state);
  if (state->fRtsControl != RTS_CONTROL_HANDSHAKE) {
    ++played_;
    return Refuse(ERROR_INVALID_PARAMETER);
  }
  // The handshake is this driver's alone; Wine's line keeps RTS as it is.
  DCB wine = *state;
  wine.fRtsControl = RTS_CONTROL_ENABLE;
  return Wine().SetCommState(port, &wine);
}

BOOL HabitDriver::GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
  std::lock_guard<std::mutex> lock(mutex_);
  return !Removed(std::nullopt, port) && Wine().GetCommTimeouts(port, timeouts);
}

BOOL HabitDriver::SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
  std::lock_guard<std::mutex> lock(mutex_);
  return !Removed(std::nullopt, port) && Wine().SetCommTimeouts(port, timeouts);
}

BOOL HabitDriver::SetupComm(HANDLE port, DWORD inQueue, DWORD outQueue) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Removed(std::nullopt, port)) return FALSE;
  if (spec_.habit == Habit::RefusesSetupAndFifo) {
    ++played_;
    return Refuse(ERROR_INVALID_FUNCTION);
  }
  return Wine().SetupComm(port, inQueue, outQueue);
}

BOOL HabitDriver::PurgeComm(HANDLE port, DWORD flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Removed(std::nullopt, port)) return FALSE;
  const DWORD dropped = (flags & PURGE_RXCLEAR) != 0 ? Queued(port) : 0;
  if (!Wine().PurgeComm(port, flags)) return FALSE;
  if (dropped > 0) Unpark(dropped);
  return TRUE;
}

BOOL HabitDriver::EscapeCommFunction(HANDLE port, DWORD function) {
  std::lock_guard<std::mutex> lock(mutex_);
  return !Removed(std::nullopt, port) && Wine().EscapeCommFunction(port, function);
}

BOOL HabitDriver::SetCommMask(HANDLE port, DWORD mask) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A new mask ends the wait in progress with no events.
  if (parked_) EndParked(DONE);
  return !Removed(std::nullopt, port) && Wine().SetCommMask(port, mask);
}

BOOL HabitDriver::WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* record) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Removed(FirstMet::WaitCommEvent, port)) return FALSE;
  waitRecord_ = record;
  waitEvents_ = events;
  if (spec_.habit == Habit::WaitEndsAtOnceWithNoEventOrTxEmpty) {
    ++played_;
    *events = waits_++ % 2 == 0 ? 0 : EV_TXEMPTY;
    return TRUE;
  }
  // Only announced bytes wait: nothing new to tell of until a read takes them.
  const DWORD queued = Queued(port);
  if (queued > 0 && taken_ + queued <= announced_) {
    parked_ = true;
    record->Internal = PENDING;
    (void)ResetEvent(record->hEvent);  // the port's own event, set when the wait ends
    return Refuse(ERROR_IO_PENDING);
  }
  if (!Wine().WaitCommEvent(port, events, record)) return FALSE;
  Woke(port, *events);
  return TRUE;
}

BOOL HabitDriver::ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Removed(FirstMet::ClearCommError, port) || !Wine().ClearCommError(port, errors, status)) {
    return FALSE;
  }
  if (hideCount_ && status->cbInQue > 0) {
    ++played_;
    status->cbInQue = 0;
  }
  hideCount_ = false;
  return TRUE;
}

BOOL HabitDriver::ReadFile(HANDLE port, void* buffer, DWORD count, OVERLAPPED* record) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Removed(FirstMet::ReadFile, port)) return FALSE;
  readRecord_ = record;
  if (spec_.habit == Habit::ReadDeliversNothing && reads_++ % 2 == 0) {
    ++played_;
    Complete(record, DONE, 0);
    return TRUE;
  }
  return Wine().ReadFile(port, buffer, count, record);
}

BOOL HabitDriver::WriteFile(HANDLE port, const void* bytes, DWORD count, OVERLAPPED* record) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++writes_;
  if (Removed(FirstMet::WriteFile, port)) return FALSE;
  if (writes_ % 2 == 0 && spec_.habit == Habit::WriteTimesOut) {
    ++played_;
    return Pending(record, IO_TIMEOUT, 0);
  }
  if (writes_ % 2 == 0 && spec_.habit == Habit::WriteTakesFewer) {
    ++played_;
    if (count == 1) return Pending(record, DONE, 0);
    return Wine().WriteFile(port, bytes, count - 1, record);
  }
  return Wine().WriteFile(port, bytes, count, record);
}

BOOL HabitDriver::GetOverlappedResult(HANDLE port, OVERLAPPED* record, DWORD* count, BOOL wait) {
  std::optional<FirstMet> call;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (record == waitRecord_) call = FirstMet::WaitResult;
    if (record == readRecord_) call = FirstMet::ReadFile;
    // A read's result is the read's, which a removal has failed already or let through.
    if (call != FirstMet::ReadFile && Removed(call, port)) return FALSE;
  }
  // Outside the lock: it may wait for the driver.
  if (!Wine().GetOverlappedResult(port, record, count, wait)) return FALSE;
  std::lock_guard<std::mutex> lock(mutex_);
  if (call == FirstMet::WaitResult) {
    Woke(port, *waitEvents_);
    if (spec_.habit == Habit::WaitResultFailsOnce && waits_++ % 2 == 1) {
      ++played_;
      return Refuse(waits_ % 4 == 2 ? ERROR_INVALID_PARAMETER : ERROR_OPERATION_ABORTED);
    }
  }
  if (call == FirstMet::ReadFile && *count > 0) Unpark(*count);
  return TRUE;
}

BOOL HabitDriver::CancelIoEx(HANDLE port, OVERLAPPED* record) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (parked_ && record == waitRecord_) {
    EndParked(CANCELLED);
    return TRUE;
  }
  return Wine().CancelIoEx(port, record);
}

BOOL HabitDriver::DeviceIoControl(HANDLE port, DWORD code, void* in, DWORD inSize, void* out,
                                  DWORD outSize, DWORD* returned, OVERLAPPED* record) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Removed(std::nullopt, port)) return FALSE;
  if (spec_.habit == Habit::RefusesSetupAndFifo) {
    ++played_;
    return Refuse(ERROR_INVALID_FUNCTION);
  }
  return Wine().DeviceIoControl(port, code, in, inSize, out, outSize, returned, record);
}

}  // namespace vannor::test
