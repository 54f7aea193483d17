#include "serial/win32/listener.h"

#include <process.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace vannor {

namespace {

// A port's wait ended without a character and without a release: the port went away (an
// unplugged adapter, a hang-up). Every further wait on it would fail at once.
struct DeadPort {
  bool known = false;
  std::uint32_t generation = 0;
};

// How long a wait may take to end for a new event mask before it is cancelled: only a driver
// that ignores the mask gets near it. And how long a cancelled wait may keep its record.
constexpr DWORD WAIT_END_PATIENCE_MS = 2000;
constexpr DWORD CANCEL_PATIENCE_MS = 1000;

// Some drivers announce a character before their count shows it: the listener looks again this
// often, this long apart, before it takes the wake for one that brought nothing.
constexpr int LATE_COUNT_LOOKS = 5;
constexpr DWORD LATE_COUNT_PAUSE_MS = 1;
// A driver whose waits end at once with nothing (a mask of 0, EV_TXEMPTY never asked for) would
// spin the listener: from the second such wake in a row it pauses before it waits again, and
// finds what came meanwhile by looking.
constexpr int IDLE_WAKES_BEFORE_PAUSE = 2;
constexpr DWORD IDLE_PAUSE_MS = 1;

}  // namespace

unsigned __stdcall Win32Listener::ThreadMain(void* self) {
  static_cast<Win32Listener*>(self)->ListenerMain();
  return 0;
}

std::unique_ptr<Win32Listener::WaitRecord> Win32Listener::MakeWaitRecord() {
  auto record = std::make_unique<WaitRecord>();
  record->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (record->overlapped.hEvent == nullptr) return nullptr;
  return record;
}

Win32Listener::WaitStart Win32Listener::StartWait(HANDLE port, std::uint32_t generation) {
  const int next = 1 - current_;
  // A record whose last wait went to the driver and has no result in it yet is still its.
  if (records_[next] != nullptr && records_[next]->pending &&
      !HasOverlappedIoCompleted(&records_[next]->overlapped)) {
    records_[next]->keptByDriver = true;
  }
  if (records_[next] == nullptr || records_[next]->keptByDriver) {
    // Left to the driver, event and all, which may still write into it: never freed.
    (void)records_[next].release();
    records_[next] = MakeWaitRecord();
    if (records_[next] == nullptr) return WaitStart::Failed;  // the last error says why
  }
  current_ = next;
  WaitRecord& record = Current();
  MakeReady(record.overlapped);
  record.events = 0;
  waitStarted_ = true;
  waitGeneration_ = generation;
  record.pending = false;
  if (port_.Calls().WaitCommEvent(port, &record.events, &record.overlapped)) {
    return WaitStart::Done;
  }
  if (GetLastError() != ERROR_IO_PENDING) return WaitStart::Failed;
  record.pending = true;
  return WaitStart::Pending;
}

bool Win32Listener::WaitOver() const {
  // Wine sets the record's event a moment before it fills in the record: either tells.
  return HasOverlappedIoCompleted(&Current().overlapped) ||
         WaitForSingleObject(Current().overlapped.hEvent, 0) == WAIT_OBJECT_0;
}

void Win32Listener::EndWaitOn(HANDLE port) {
  if (WaitOver()) return;
  WaitRecord& record = Current();
  // A new mask ends a pending wait, on Windows at once, under Wine at its next poll.
  // Ignored: a port that went away has ended the wait already.
  (void)port_.Calls().SetCommMask(port, 0);
  if (WaitForSingleObject(record.overlapped.hEvent, WAIT_END_PATIENCE_MS) == WAIT_OBJECT_0) return;
  // A driver that did not end the wait for the new mask is asked to cancel it. Ignored: fails
  // only when the wait has just ended by itself, which the wait below sees.
  (void)port_.Calls().CancelIoEx(port, &record.overlapped);
  if (WaitForSingleObject(record.overlapped.hEvent, CANCEL_PATIENCE_MS) == WAIT_OBJECT_0) return;
  // Not even the cancel: the driver keeps the record, and every wait on this port would do the
  // same. The port counts as gone; whoever uses it next is told.
  record.keptByDriver = true;
  port_.MarkFailed(waitGeneration_, WAIT_TIMEOUT);
}

bool Win32Listener::EndPendingWait(HANDLE port, std::uint32_t generation) {
  if (WaitOver()) return true;
  {
    std::lock_guard<std::mutex> lock(portLock_);
    // A port that has been closed since was withdrawn first, which ended the wait (or found the
    // record kept); its handle may by now belong to something else.
    if (port_.Generation() == generation) EndWaitOn(port);
    if (Current().keptByDriver) return false;
  }
  // Ignored: the record's own event; it is set by now, or about to be.
  (void)WaitForSingleObject(Current().overlapped.hEvent, INFINITE);
  return true;
}

void Win32Listener::Withdraw() {
  const HANDLE port = port_.Handle();
  if (thread_ == nullptr || port == INVALID_HANDLE_VALUE) return;
  if (waitStarted_ && waitGeneration_ == port_.Generation()) EndWaitOn(port);
}

Win32Listener::Wake Win32Listener::Look(std::uint32_t generation) {
  std::lock_guard<std::mutex> lock(portLock_);
  // A port closed meanwhile: the next pass copies whatever came next.
  if (port_.Generation() != generation) return Wake::Moved;
  const std::size_t waiting = port_.PendingCount();
  if (port_.Failed()) return Wake::Gone;
  return waiting > 0 ? Wake::Bytes : Wake::Nothing;
}

bool Win32Listener::MayWaitAgain(std::uint32_t generation, DWORD error, int& failedWaits) {
  std::lock_guard<std::mutex> lock(portLock_);
  return port_.Generation() != generation || port_.MayTryAgain(generation, error, failedWaits);
}

Win32Listener::Wake Win32Listener::LookAfterWake(std::uint32_t generation, bool announced) {
  // Taken at the wake: a read after it may have taken the character announced.
  const std::uint32_t deliveredBefore = port_.Delivered();
  Wake wake = Look(generation);
  // A character announced, none counted, none read since the wake: the count is late.
  for (int look = 1; wake == Wake::Nothing && announced && look < LATE_COUNT_LOOKS &&
                     port_.Delivered() == deliveredBefore;
       ++look) {
    // A release ends the pause: the loop starts again from the port that is open then.
    if (WaitForSingleObject(release_, LATE_COUNT_PAUSE_MS) == WAIT_OBJECT_0) return Wake::Moved;
    wake = Look(generation);
  }
  return wake;
}

void Win32Listener::ListenerMain() {
  DeadPort dead;
  // Whether the port's event mask may have been cleared: set it again before the next wait.
  // Only this thread sets the mask of a port it may wait on again (it clears it to end a wait a
  // release interrupted); others clear it only on a port that is closing. True at first, for a
  // listener started again on a port that is still open.
  bool rearm = true;
  // Waits that failed in a row, for MayTryAgain; wakes in a row that found nothing waiting.
  int failedWaits = 0;
  int idleWakes = 0;
  while (stopListener_.load() == 0) {
    if (pauseHook_ != nullptr) pauseHook_(ListenerPoint::BeforeCopy);
    HANDLE port = INVALID_HANDLE_VALUE;
    std::uint32_t generation = 0;
    bool waiting = false;
    WaitStart start = WaitStart::Failed;
    DWORD waitError = 0;
    bool rearmed = false;
    {
      std::lock_guard<std::mutex> lock(portLock_);
      // Ignored: our own event; a release that comes after this is seen by the wait below.
      (void)ResetEvent(release_);
      // The reset may have taken the release of a stop that began after the test above.
      if (stopListener_.load() != 0) break;
      port = port_.Handle();
      generation = port_.Generation();
      waiting = port != INVALID_HANDLE_VALUE && !(dead.known && dead.generation == generation);
      if (waiting) {
        if (rearm) {
          // Ignored: a port that refuses its mask fails the wait below, and is then left alone.
          (void)port_.Calls().SetCommMask(port, EV_RXCHAR);
          rearmed = true;
        }
        // Started under the lock, so that it names the open port and not one the switch has
        // closed meanwhile; waited for outside it.
        start = StartWait(port, generation);
        if (start == WaitStart::Failed) waitError = GetLastError();
      }
    }
    rearm = false;
    // Bytes that came while the mask was cleared were announced to nobody.
    if (rearmed) events_->PortEvent();
    if (pauseHook_ != nullptr) pauseHook_(ListenerPoint::BeforeWait);

    if (!waiting) {
      // No port, or one that went away: sleep until a switch or the stop releases the wait.
      // Ignored: our own event; a failed wait would only bring the loop back here.
      (void)WaitForSingleObject(release_, INFINITE);
      rearm = true;
      continue;
    }
    if (start == WaitStart::Pending) {
      const HANDLE both[2] = {Current().overlapped.hEvent, release_};
      // Ignored: both are our own events; whatever woke the wait, the record is checked below.
      (void)WaitForMultipleObjects(2, both, FALSE, INFINITE);
      DWORD unused = 0;
      // The record's event is set here, so this waits on nothing, and it reads the record's
      // result, never the (maybe closed) handle. Waiting, because Wine may not have filled in
      // the record yet; it then counts the wait as done. A record the driver kept has no result.
      if (!EndPendingWait(port, generation)) {
        start = WaitStart::Failed;
        waitError = WAIT_TIMEOUT;
      } else if (port_.Calls().GetOverlappedResult(port, &Current().overlapped, &unused, TRUE)) {
        start = WaitStart::Done;
      } else {
        start = WaitStart::Failed;
        waitError = GetLastError();
      }
    }
    // A wait the release interrupted was ended above, by this thread; the release is still set.
    if (WaitForSingleObject(release_, 0) == WAIT_OBJECT_0) {
      if (start == WaitStart::Done && (Current().events & EV_RXCHAR) != 0) events_->PortEvent();
      rearm = true;
      continue;
    }
    // The wait ended by itself. Neither its mask (drivers end waits with 0, or with EV_TXEMPTY
    // never asked for) nor a failed result (a hiccup, once) is taken at its word: what waits in
    // the port decides, and MayTryAgain whether a failed wait is tried again.
    Wake wake = Wake::Gone;
    if (start == WaitStart::Done || MayWaitAgain(generation, waitError, failedWaits)) {
      if (start == WaitStart::Done) failedWaits = 0;
      const bool announced = start == WaitStart::Done && (Current().events & EV_RXCHAR) != 0;
      wake = LookAfterWake(generation, announced);
    }
    idleWakes = wake == Wake::Nothing ? idleWakes + 1 : 0;
    if (wake == Wake::Bytes) events_->PortEvent();
    if (wake == Wake::Gone) {
      // The window hears of it once, finds the port failed and ends the exchange in progress.
      // The port is left alone until it is closed.
      dead = DeadPort{.known = true, .generation = generation};
      events_->PortEvent();
    }
    if (wake == Wake::Moved) rearm = true;
    // A release ends the pause; the mask may have been cleared meanwhile.
    if (idleWakes >= IDLE_WAKES_BEFORE_PAUSE &&
        WaitForSingleObject(release_, IDLE_PAUSE_MS) == WAIT_OBJECT_0) {
      rearm = true;
    }
  }
}

void Win32Listener::ReleaseWait() {
  if (release_ == nullptr) return;
  // Ignored: our own event. It releases the listener wherever it is; a wait it has pending it
  // ends itself (EndPendingWait). The port's mask is not touched here: a clear from this thread
  // could land after the listener armed the port again, and leave every later wait on mask 0.
  (void)SetEvent(release_);
  if (pauseHook_ != nullptr) pauseHook_(ListenerPoint::Released);
}

bool Win32Listener::Start(PortEvents& events, std::string& reason) {
  Stop();
  events_ = &events;
  stopListener_.store(0);
  release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  current_ = 0;
  waitStarted_ = false;
  for (std::unique_ptr<WaitRecord>& record : records_) record = MakeWaitRecord();
  if (release_ == nullptr || records_[0] == nullptr || records_[1] == nullptr) {
    reason = SystemReason(GetLastError());
    CloseHandles();
    return false;
  }
  // The runtime's own thread start, so that the C runtime is set up for the thread.
  const std::uintptr_t thread =
      _beginthreadex(nullptr, 0, &Win32Listener::ThreadMain, this, CREATE_SUSPENDED, nullptr);
  if (thread == 0) {
    reason = std::strerror(errno);  // the runtime's thread start sets errno, not the last error
    CloseHandles();
    return false;
  }
  thread_ = reinterpret_cast<HANDLE>(thread);
  // events is set: now it may run.
  if (ResumeThread(thread_) == static_cast<DWORD>(-1)) {
    reason = SystemReason(GetLastError());
    // A thread that never ran holds nothing: ending it loses nothing. Ignored results: it is
    // ours and suspended.
    (void)TerminateThread(thread_, 0);
    (void)WaitForSingleObject(thread_, INFINITE);
    (void)CloseHandle(thread_);
    thread_ = nullptr;
    CloseHandles();
    return false;
  }
  return true;
}

void Win32Listener::Stop() {
  stopListener_.store(1);
  ReleaseWait();
  if (thread_ != nullptr) {
    // Ignored: waiting for our own thread fails only on a programming error.
    (void)WaitForSingleObject(thread_, INFINITE);
    (void)CloseHandle(thread_);  // ours; nothing waits on it any more
    thread_ = nullptr;
  }
  CloseHandles();
}

void Win32Listener::CloseHandles() {
  // Ignored: our own events, which nothing waits on any more.
  if (release_ != nullptr) (void)CloseHandle(release_);
  release_ = nullptr;
  for (std::unique_ptr<WaitRecord>& record : records_) {
    // A record the driver kept is left to it, event and all: never freed.
    if (record != nullptr && record->keptByDriver) (void)record.release();
    if (record != nullptr) (void)CloseHandle(record->overlapped.hEvent);
    record.reset();
  }
}

std::chrono::nanoseconds Win32Listener::CpuTime() const {
  if (thread_ == nullptr) return std::chrono::nanoseconds(0);
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(thread_, &created, &exited, &kernel, &user)) {
    return std::chrono::nanoseconds(-1);
  }
  auto ticks = [](const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  // FILETIME counts 100-nanosecond ticks.
  return std::chrono::nanoseconds((ticks(kernel) + ticks(user)) * 100);
}

}  // namespace vannor
