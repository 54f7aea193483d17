// A serial driver with one of the habits real USB-serial drivers have, standing between the port
// and Wine's driver: every call goes on to Wine's, except where the habit says otherwise.
//
// Waits are announced as Windows' own serial driver announces them: a character raises the
// received-character event once, and a wait started while only announced characters wait is
// held (parked) until a read takes them, then ends with no event. Wine's driver raises the event
// for as long as anything waits, which would announce again, and so rescue, a byte that the port
// failed to read.
#pragma once

#include <windows.h>

#include <chrono>
#include <mutex>
#include <optional>

#include "serial/win32/comm_calls.h"

namespace vannor::test {

enum class Habit {
  WaitEndsAtOnceWithNoEventOrTxEmpty,  // every wait, with 0 and EV_TXEMPTY by turns
  WaitResultFailsOnce,                 // every other wait's result: 87, then 995
  ReadDeliversNothing,                 // every other ReadFile succeeds with 0 bytes
  CountLagsTheEvent,                   // the first ClearCommError after EV_RXCHAR shows none
  WriteTimesOut,                       // every other write ends with error 121, nothing sent
  WriteTakesFewer,                     // every other write takes one byte fewer than asked
  RefusesTheRtsMode,                   // reports RTS handshake; refuses any other RTS mode
  RefusesSetupAndFifo,                 // SetupComm and the FIFO request refused
  Removal,                             // see Removal below
};

// The calls a removal may first be met by.
enum class FirstMet { WriteFile, ClearCommError, ReadFile, WaitResult, WaitCommEvent };

struct HabitSpec {
  Habit habit;
  // Removal: after the REMOVAL_AFTER_WRITES-th write, the next call of this kind fails with
  // `error`, and from then on every call does (a pending wait ends); CloseHandle and CancelIoEx
  // are let through so that the port can still let go.
  FirstMet firstMet = FirstMet::WriteFile;
  DWORD error = 0;
};

inline constexpr int REMOVAL_AFTER_WRITES = 8;

class HabitDriver final : public CommCalls {
 public:
  explicit HabitDriver(HabitSpec spec) : spec_(spec) {}

  // How many times the habit was played.
  int Played();
  // When the removal was first met.
  std::optional<std::chrono::steady_clock::time_point> RemovedAt();

  HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) override;
  BOOL CloseHandle(HANDLE port) override;
  BOOL GetCommState(HANDLE port, DCB* state) override;
  BOOL SetCommState(HANDLE port, DCB* state) override;
  BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override;
  BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override;
  BOOL SetupComm(HANDLE port, DWORD inQueue, DWORD outQueue) override;
  BOOL PurgeComm(HANDLE port, DWORD flags) override;
  BOOL EscapeCommFunction(HANDLE port, DWORD function) override;
  BOOL SetCommMask(HANDLE port, DWORD mask) override;
  BOOL WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* record) override;
  BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) override;
  BOOL ReadFile(HANDLE port, void* buffer, DWORD count, OVERLAPPED* record) override;
  BOOL WriteFile(HANDLE port, const void* bytes, DWORD count, OVERLAPPED* record) override;
  BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* record, DWORD* count, BOOL wait) override;
  BOOL CancelIoEx(HANDLE port, OVERLAPPED* record) override;
  BOOL DeviceIoControl(HANDLE port, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* returned, OVERLAPPED* record) override;

 private:
  // Whether a call fails for a removal (`call`: which, when a removal may be first met by it);
  // it then leaves the removal's code. Under mutex_.
  bool Removed(std::optional<FirstMet> call, HANDLE port);
  // A wait ended with `events`: what waits now counts as announced. Under mutex_.
  void Woke(HANDLE port, DWORD events);
  // A read or a purge took `taken` bytes: a parked wait ends. Under mutex_.
  void Unpark(DWORD taken);
  // Ends the parked wait with `status` (an NTSTATUS) and no events.
  void EndParked(DWORD status);

  const HabitSpec spec_;
  std::mutex mutex_;
  int played_ = 0;
  int writes_ = 0;
  int reads_ = 0;
  int waits_ = 0;
  bool removed_ = false;
  std::optional<std::chrono::steady_clock::time_point> removedAt_;
  // The listener's wait: its record and events word, whether it is parked; the bytes reads and
  // purges have taken, and how many had arrived when a wait last ended (all counted since the
  // driver was made).
  OVERLAPPED* waitRecord_ = nullptr;
  DWORD* waitEvents_ = nullptr;
  bool parked_ = false;
  DWORD taken_ = 0;
  DWORD announced_ = 0;
  OVERLAPPED* readRecord_ = nullptr;
  // CountLagsTheEvent: the next ClearCommError shows no bytes.
  bool hideCount_ = false;
};

}  // namespace vannor::test
