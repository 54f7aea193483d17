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
// that ignores the mask gets near it.
constexpr DWORD WAIT_END_PATIENCE_MS = 2000;

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

Win32Listener::WaitStart Win32Listener::StartWait(HANDLE port, std::uint32_t generation) {
  const HANDLE event = waitOverlapped_.hEvent;
  waitOverlapped_ = OVERLAPPED{};
  waitOverlapped_.hEvent = event;
  waitEvents_ = 0;
  waitStarted_ = true;
  waitGeneration_ = generation;
  if (port_.Calls().WaitCommEvent(port, &waitEvents_, &waitOverlapped_)) return WaitStart::Done;
  return GetLastError() == ERROR_IO_PENDING ? WaitStart::Pending : WaitStart::Failed;
}

bool Win32Listener::WaitOver() const {
  // Wine sets the record's event a moment before it fills in the record: either tells.
  return HasOverlappedIoCompleted(&waitOverlapped_) ||
         WaitForSingleObject(waitOverlapped_.hEvent, 0) == WAIT_OBJECT_0;
}

void Win32Listener::EndWaitOn(HANDLE port) {
  if (WaitOver()) return;
  // A new mask ends a pending wait, on Windows at once, under Wine at its next poll.
  // Ignored: a port that went away has ended the wait already.
  (void)port_.Calls().SetCommMask(port, 0);
  if (WaitForSingleObject(waitOverlapped_.hEvent, WAIT_END_PATIENCE_MS) == WAIT_OBJECT_0) return;
  // A driver that did not end the wait for the new mask is asked to cancel it. Ignored: fails
  // only when the wait has just ended by itself, which the wait below sees.
  (void)port_.Calls().CancelIoEx(port, &waitOverlapped_);
  // Ignored: the record's own event, set when the driver lets go of the record.
  (void)WaitForSingleObject(waitOverlapped_.hEvent, INFINITE);
}

void Win32Listener::EndPendingWait(HANDLE port, std::uint32_t generation) {
  if (WaitOver()) return;
  {
    std::lock_guard<std::mutex> lock(portLock_);
    // A port that has been closed since was withdrawn first, which ended the wait; its handle
    // may by now belong to something else.
    if (port_.Generation() == generation) EndWaitOn(port);
  }
  // Ignored: the record's own event; it is set by now, or about to be.
  (void)WaitForSingleObject(waitOverlapped_.hEvent, INFINITE);
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
  // Whether the port's event mask may have been cleared by a release: set it again before the
  // next wait. True at first, for a listener started again on a port that is still open.
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
      const HANDLE both[2] = {waitOverlapped_.hEvent, release_};
      // Ignored: both are our own events; whatever woke the wait, the record is checked below.
      (void)WaitForMultipleObjects(2, both, FALSE, INFINITE);
      EndPendingWait(port, generation);
      DWORD unused = 0;
      // The record's event is set here, so this waits on nothing, and it reads the record's
      // result, never the (maybe closed) handle. Waiting, because Wine may not have filled in
      // the record yet; it then counts the wait as done.
      start = port_.Calls().GetOverlappedResult(port, &waitOverlapped_, &unused, TRUE)
                  ? WaitStart::Done
                  : WaitStart::Failed;
      if (start == WaitStart::Failed) waitError = GetLastError();
    }
    // The release is set before the mask is cleared, so a wait it ended finds it set.
    if (WaitForSingleObject(release_, 0) == WAIT_OBJECT_0) {
      if (start == WaitStart::Done && (waitEvents_ & EV_RXCHAR) != 0) events_->PortEvent();
      rearm = true;
      continue;
    }
    // The wait ended by itself. Neither its mask (drivers end waits with 0, or with EV_TXEMPTY
    // never asked for) nor a failed result (a hiccup, once) is taken at its word: what waits in
    // the port decides, and MayTryAgain whether a failed wait is tried again.
    Wake wake = Wake::Gone;
    if (start == WaitStart::Done || MayWaitAgain(generation, waitError, failedWaits)) {
      if (start == WaitStart::Done) failedWaits = 0;
      const bool announced = start == WaitStart::Done && (waitEvents_ & EV_RXCHAR) != 0;
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
  // Ignored: our own event.
  (void)SetEvent(release_);
  const HANDLE port = port_.Handle();
  // Ignored: with no port open there is no wait on one to end; the event above releases the
  // listener wherever it is.
  if (port != INVALID_HANDLE_VALUE) (void)port_.Calls().SetCommMask(port, 0);
}

bool Win32Listener::Start(PortEvents& events, std::string& reason) {
  Stop();
  events_ = &events;
  stopListener_.store(0);
  release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  waitOverlapped_ = OVERLAPPED{};
  waitOverlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (release_ == nullptr || waitOverlapped_.hEvent == nullptr) {
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
  if (waitOverlapped_.hEvent != nullptr) (void)CloseHandle(waitOverlapped_.hEvent);
  release_ = nullptr;
  waitOverlapped_.hEvent = nullptr;
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
