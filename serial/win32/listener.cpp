#include "serial/win32/listener.h"

#include <process.h>

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
  if (WaitCommEvent(port, &waitEvents_, &waitOverlapped_)) return WaitStart::Done;
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
  (void)SetCommMask(port, 0);
  if (WaitForSingleObject(waitOverlapped_.hEvent, WAIT_END_PATIENCE_MS) == WAIT_OBJECT_0) return;
  // A driver that did not end the wait for the new mask is asked to cancel it. Ignored: fails
  // only when the wait has just ended by itself, which the wait below sees.
  (void)CancelIoEx(port, &waitOverlapped_);
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

void Win32Listener::ListenerMain() {
  DeadPort dead;
  // Whether the port's event mask may have been cleared by a release: set it again before the
  // next wait. True at first, for a listener started again on a port that is still open.
  bool rearm = true;
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
          (void)SetCommMask(port, EV_RXCHAR);
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
    if (rearmed) mainWindow_->PostCommNotify();
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
      start = GetOverlappedResult(port, &waitOverlapped_, &unused, TRUE) ? WaitStart::Done
                                                                         : WaitStart::Failed;
      if (start == WaitStart::Failed) waitError = GetLastError();
    }
    // The release is set before the mask is cleared, so a wait it ended finds it set.
    const bool released = WaitForSingleObject(release_, 0) == WAIT_OBJECT_0;
    if (start == WaitStart::Done) {
      // A character, or (not released) a wait that ended for a reason it did not fill in: the
      // window reads what is waiting, if anything. A port that went away fails the next wait.
      if ((waitEvents_ & EV_RXCHAR) != 0 || !released) mainWindow_->PostCommNotify();
    } else if (!released) {
      // The window hears of it once, finds the port failed and ends the exchange in progress.
      // The port is left alone until it is closed.
      dead = DeadPort{.known = true, .generation = generation};
      port_.MarkFailed(generation, waitError);
      mainWindow_->PostCommNotify();
    }
    rearm = released;
  }
}

void Win32Listener::ReleaseWait() {
  if (release_ == nullptr) return;
  // Ignored: our own event.
  (void)SetEvent(release_);
  const HANDLE port = port_.Handle();
  // Ignored: with no port open there is no wait on one to end; the event above releases the
  // listener wherever it is.
  if (port != INVALID_HANDLE_VALUE) (void)SetCommMask(port, 0);
}

bool Win32Listener::Start(PortEvents& mainWindow) {
  Stop();
  mainWindow_ = &mainWindow;
  stopListener_.store(0);
  release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  waitOverlapped_ = OVERLAPPED{};
  waitOverlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (release_ == nullptr || waitOverlapped_.hEvent == nullptr) {
    CloseHandles();
    return false;
  }
  // The runtime's own thread start, so that the C runtime is set up for the thread.
  const std::uintptr_t thread =
      _beginthreadex(nullptr, 0, &Win32Listener::ThreadMain, this, CREATE_SUSPENDED, nullptr);
  if (thread == 0) {
    CloseHandles();
    return false;
  }
  thread_ = reinterpret_cast<HANDLE>(thread);
  // mainWindow is set: now it may run.
  if (ResumeThread(thread_) == static_cast<DWORD>(-1)) {
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
