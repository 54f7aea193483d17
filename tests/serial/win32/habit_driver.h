// A serial driver with one of the habits real USB-serial drivers have, standing between the port
// and Wine's driver: every call goes on to Wine's (CommCalls' own), except where the habit says
// otherwise.
//
// Characters are announced as Windows' own driver announces them: once. A wait started while
// only announced bytes wait is parked until a read takes them, then ends with no event. (Wine
// announces for as long as anything waits, which would rescue a byte the port failed to read.)
#pragma once

#include <windows.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <utility>

#include "serial/win32/comm_calls.h"

namespace vannor::test {

enum class Habit {
  WaitEndsAtOnceWithNoEventOrTxEmpty,  // every wait, with 0 and EV_TXEMPTY by turns
  WaitResultFailsOnce,                 // every other wait's result: 87, then 995
  ReadDeliversNothing,            // `times` ReadFiles in a row succeed with 0 bytes, then one reads
  CountLagsTheEvent,              // the first ClearCommError after EV_RXCHAR shows none
  WriteTimesOut,                  // every other write ends with error 121, nothing sent
  WriteTakesFewer,                // every other write takes one byte fewer than asked
  WriteTimesOutThenTakesOneByte,  // `times` writes in a row time out, then one takes one byte
  RefusesTheRtsMode,              // reports RTS handshake; refuses any other RTS mode
  RefusesSetupAndFifo,            // SetupComm and the FIFO request refused
  // After the 8th write the next call of kind firstMet fails with `error`, and from then on
  // every call the exchange makes does; a pending wait ends.
  Removal,
  // As Removal, but only that call fails: the port still answers ClearCommError.
  FailsOnce,
  // After the 8th write the next one never ends, and its cancel is ignored.
  KeepsACancelledWrite,
};
enum class FirstMet { WriteFile, ClearCommError, ReadFile, WaitResult, WaitCommEvent };

struct HabitPlay {
  Habit habit;
  FirstMet firstMet = FirstMet::WriteFile;
  DWORD error = 0;
  int times = 1;
};

class HabitDriver final : public CommCalls {
  using Guard = std::lock_guard<std::mutex>;
  using Call = std::optional<FirstMet>;  // nothing: a call no removal is first met by

 public:
  explicit HabitDriver(HabitPlay play) : play_(play) {}

  // How many times the habit was played; when the removal was first met.
  int Played() {
    Guard guard(mutex_);
    return played_;
  }
  std::optional<std::chrono::steady_clock::time_point> RemovedAt() {
    Guard guard(mutex_);
    return removedAt_;
  }

  BOOL GetCommState(HANDLE port, DCB* state) override {
    if (!CommCalls::GetCommState(port, state)) return FALSE;
    if (play_.habit == Habit::RefusesTheRtsMode) state->fRtsControl = RTS_CONTROL_HANDSHAKE;
    return TRUE;
  }
  BOOL SetCommState(HANDLE port, DCB* state) override {
    if (play_.habit != Habit::RefusesTheRtsMode) return CommCalls::SetCommState(port, state);
    Guard guard(mutex_);
    if (state->fRtsControl != RTS_CONTROL_HANDSHAKE) return Play(ERROR_INVALID_PARAMETER);
    DCB wine = *state;  // the handshake is this driver's alone
    wine.fRtsControl = RTS_CONTROL_ENABLE;
    return CommCalls::SetCommState(port, &wine);
  }
  BOOL SetupComm(HANDLE port, DWORD inQueue, DWORD outQueue) override {
    Guard guard(mutex_);
    if (play_.habit == Habit::RefusesSetupAndFifo) return Play(ERROR_INVALID_FUNCTION);
    return CommCalls::SetupComm(port, inQueue, outQueue);
  }
  BOOL PurgeComm(HANDLE port, DWORD flags) override {
    Guard guard(mutex_);
    const DWORD dropped = (flags & PURGE_RXCLEAR) != 0 ? Queued(port) : 0;
    if (!CommCalls::PurgeComm(port, flags)) return FALSE;
    Taken(dropped);
    return TRUE;
  }
  BOOL SetCommMask(HANDLE port, DWORD mask) override {
    Guard guard(mutex_);
    if (parked_) EndParked(DONE);  // a new mask ends the wait with no events
    return CommCalls::SetCommMask(port, mask);
  }
  BOOL WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* record) override {
    Guard guard(mutex_);
    if (Removed(FirstMet::WaitCommEvent, port)) return FALSE;
    waitRecord_ = record;
    waitEvents_ = events;
    if (play_.habit == Habit::WaitEndsAtOnceWithNoEventOrTxEmpty) {
      ++played_;
      *events = played_ % 2 == 0 ? 0 : EV_TXEMPTY;
      return TRUE;
    }
    const DWORD queued = Queued(port);
    if (queued > 0 && taken_ + queued <= announced_) {  // nothing new to tell of
      parked_ = true;
      record->Internal = PENDING;
      (void)ResetEvent(record->hEvent);  // the port's own, set when the wait ends
      return Refuse(ERROR_IO_PENDING);
    }
    if (!CommCalls::WaitCommEvent(port, events, record)) return FALSE;
    Woke(port, *events);
    return TRUE;
  }
  BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) override {
    Guard guard(mutex_);
    if (Removed(FirstMet::ClearCommError, port) ||
        !CommCalls::ClearCommError(port, errors, status)) {
      return FALSE;
    }
    if (std::exchange(hideCount_, false) && status->cbInQue > 0) {
      ++played_;
      status->cbInQue = 0;
    }
    return TRUE;
  }
  BOOL ReadFile(HANDLE port, void* buffer, DWORD count, OVERLAPPED* record) override {
    Guard guard(mutex_);
    if (Removed(FirstMet::ReadFile, port)) return FALSE;
    readRecord_ = record;
    if (play_.habit == Habit::ReadDeliversNothing && reads_++ % (play_.times + 1) != play_.times) {
      ++played_;
      Complete(record, DONE, 0);
      return TRUE;
    }
    return CommCalls::ReadFile(port, buffer, count, record);
  }
  BOOL WriteFile(HANDLE port, const void* bytes, DWORD count, OVERLAPPED* record) override {
    Guard guard(mutex_);
    const bool odd = ++writes_ % 2 == 0;
    if (Removed(FirstMet::WriteFile, port)) return FALSE;
    if (odd && play_.habit == Habit::WriteTimesOut) return Pending(record, IO_TIMEOUT, 0);
    if (play_.habit == Habit::KeepsACancelledWrite && writes_ == 9) {
      ++played_;
      record->Internal = PENDING;
      (void)ResetEvent(record->hEvent);  // the port's own; nothing sets it again
      return Refuse(ERROR_IO_PENDING);
    }
    if (play_.habit == Habit::WriteTimesOutThenTakesOneByte) {
      if (writes_ % (play_.times + 1) != 0) return Pending(record, IO_TIMEOUT, 0);
      return CommCalls::WriteFile(port, bytes, 1, record);
    }
    if (odd && play_.habit == Habit::WriteTakesFewer) {
      if (count == 1) return Pending(record, DONE, 0);
      ++played_;
      return CommCalls::WriteFile(port, bytes, count - 1, record);
    }
    return CommCalls::WriteFile(port, bytes, count, record);
  }
  BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* record, DWORD* count, BOOL wait) override {
    Call call;
    {
      Guard guard(mutex_);
      if (record == waitRecord_) call = FirstMet::WaitResult;
      // A read's result is the read's, which a removal has failed already or let through.
      if (record != readRecord_ && Removed(call, port)) return FALSE;
    }
    // Outside the lock: it may wait for the driver.
    if (!CommCalls::GetOverlappedResult(port, record, count, wait)) return FALSE;
    Guard guard(mutex_);
    if (record == readRecord_) Taken(*count);
    if (call) {
      Woke(port, *waitEvents_);
      if (play_.habit == Habit::WaitResultFailsOnce && waits_++ % 2 == 1) {
        return Play(waits_ % 4 == 2 ? ERROR_INVALID_PARAMETER : ERROR_OPERATION_ABORTED);
      }
    }
    return TRUE;
  }
  BOOL CancelIoEx(HANDLE port, OVERLAPPED* record) override {
    Guard guard(mutex_);
    if (!parked_ || record != waitRecord_) return CommCalls::CancelIoEx(port, record);
    EndParked(CANCELLED);
    return TRUE;
  }
  BOOL DeviceIoControl(HANDLE port, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* returned, OVERLAPPED* record) override {
    Guard guard(mutex_);
    if (play_.habit == Habit::RefusesSetupAndFifo) return Play(ERROR_INVALID_FUNCTION);
    return CommCalls::DeviceIoControl(port, code, in, inSize, out, outSize, returned, record);
  }

 private:
  // The I/O status a record carries, as GetOverlappedResult reads it.
  static constexpr ULONG_PTR DONE = 0;
  static constexpr ULONG_PTR PENDING = 0x103;
  static constexpr ULONG_PTR CANCELLED = 0xC0000120;   // ERROR_OPERATION_ABORTED
  static constexpr ULONG_PTR IO_TIMEOUT = 0xC00000B5;  // ERROR_SEM_TIMEOUT

  // What waits in Wine's input queue now.
  DWORD Queued(HANDLE port) {
    DWORD errors = 0;
    COMSTAT status{};
    return CommCalls::ClearCommError(port, &errors, &status) ? status.cbInQue : 0;
  }
  static BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
  }
  // Ends a record as a driver does: its status and count, then its event.
  static void Complete(OVERLAPPED* record, ULONG_PTR status, ULONG_PTR moved) {
    record->Internal = status;
    record->InternalHigh = moved;
    (void)SetEvent(record->hEvent);  // the port's own event
  }
  // The habit, played as a call that began and has ended at once.
  BOOL Pending(OVERLAPPED* record, ULONG_PTR status, ULONG_PTR moved) {
    ++played_;
    Complete(record, status, moved);
    return Refuse(ERROR_IO_PENDING);
  }
  BOOL Play(DWORD error) {
    ++played_;
    return Refuse(error);
  }
  // Whether a call fails for the removal, leaving its code. Under mutex_.
  bool Removed(Call call, HANDLE port) {
    if (play_.habit != Habit::Removal && play_.habit != Habit::FailsOnce) return false;
    const bool first = !removed_ && writes_ > 8 && call == play_.firstMet;
    if (first) {
      removed_ = true;
      removedAt_ = std::chrono::steady_clock::now();
      ++played_;
      // A pulled adapter ends its wait. Wine's ends for a new mask (its cancel may leave the
      // record unfilled); the wait's result then fails as removed.
      if (parked_ && play_.habit == Habit::Removal) EndParked(CANCELLED);
      if (play_.habit == Habit::Removal) (void)CommCalls::SetCommMask(port, 0);  // nothing to end
    }
    const bool fails = first || (removed_ && play_.habit == Habit::Removal);
    if (fails) SetLastError(play_.error);
    return fails;
  }
  // A wait ended: what waits now counts as announced.
  void Woke(HANDLE port, DWORD events) {
    announced_ = taken_ + Queued(port);
    if (play_.habit == Habit::CountLagsTheEvent && (events & EV_RXCHAR) != 0) hideCount_ = true;
  }
  // A read or a purge took bytes: the parked wait ends, as a new mask ends it, so that the
  // listener waits again from its own thread (Wine refuses a wait while one another thread
  // started is not wound up).
  void Taken(DWORD bytes) {
    taken_ += bytes;
    if (bytes > 0 && parked_) EndParked(DONE);
  }
  void EndParked(ULONG_PTR status) {
    parked_ = false;
    *waitEvents_ = 0;
    Complete(waitRecord_, status, sizeof(DWORD));
  }

  const HabitPlay play_;
  std::mutex mutex_;
  int played_ = 0;
  int writes_ = 0;
  int reads_ = 0;
  int waits_ = 0;
  bool removed_ = false;
  std::optional<std::chrono::steady_clock::time_point> removedAt_;
  // The listener's wait (record, events word, parked or not), the read's record, the bytes
  // reads and purges have taken and how many had come when a wait last ended.
  OVERLAPPED* waitRecord_ = nullptr;
  DWORD* waitEvents_ = nullptr;
  bool parked_ = false;
  OVERLAPPED* readRecord_ = nullptr;
  DWORD taken_ = 0;
  DWORD announced_ = 0;
  bool hideCount_ = false;  // CountLagsTheEvent: the next ClearCommError shows no bytes
};

}  // namespace vannor::test
