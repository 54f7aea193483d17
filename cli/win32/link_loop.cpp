#include "cli/link_loop.h"

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <ratio>

namespace vannor::cli {

namespace {

// Windows' timers tick at 15.6 ms unless a program asks for finer: the quiet wait of 4 ms before
// a request would take a whole tick. Asked for while the loop runs.
class FineTimerResolution {
 public:
  FineTimerResolution() : granted_(timeBeginPeriod(1) == TIMERR_NOERROR) {}
  ~FineTimerResolution() {
    if (granted_) (void)timeEndPeriod(1);  // ours, begun above
  }
  FineTimerResolution(const FineTimerResolution&) = delete;
  FineTimerResolution& operator=(const FineTimerResolution&) = delete;

 private:
  // Without it the waits end late, and the quiet wait is measured by the clock anyway.
  const bool granted_;
};

// The links' next deadline as a waitable timer, due to the 100 ns: a wait's own time-out counts
// whole milliseconds, and one rounded up at every wake puts up to a millisecond on each quiet
// wait of 4. Without a timer (Windows had none to give) the wait's time-out serves.
class DeadlineTimer {
 public:
  DeadlineTimer() : timer_(CreateWaitableTimerW(nullptr, FALSE, nullptr)) {}
  ~DeadlineTimer() {
    if (timer_ != nullptr) (void)CloseHandle(timer_);  // ours; no wait names it any more
  }
  DeadlineTimer(const DeadlineTimer&) = delete;
  DeadlineTimer& operator=(const DeadlineTimer&) = delete;

  HANDLE Handle() const { return timer_; }

  // Sets the timer to the links' next deadline, or stops it; returns the wait's time-out.
  DWORD Arm(const std::vector<RadioLink*>& links) {
    const std::optional<LinkClock::time_point> due = NextDeadline(links);
    if (timer_ == nullptr) {
      const int milliseconds = MillisecondsToNextTimer(links);
      return milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    }
    if (!due) {
      // Ignored: a timer that still fires only wakes the loop once more.
      (void)CancelWaitableTimer(timer_);
      return INFINITE;
    }
    using Ticks = std::chrono::duration<long long, std::ratio<1, 10'000'000>>;
    const long long rest = std::chrono::ceil<Ticks>(*due - LinkClock::now()).count();
    // Negative: relative to now, in 100 ns ticks; at least one, so that it is due at once.
    LARGE_INTEGER dueTime;
    dueTime.QuadPart = -std::max(rest, 1LL);
    if (SetWaitableTimer(timer_, &dueTime, 0, nullptr, nullptr, FALSE)) return INFINITE;
    const int milliseconds = MillisecondsToNextTimer(links);
    return milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
  }

 private:
  const HANDLE timer_;
};

}  // namespace

LoopWake::LoopWake() {
  // Auto-reset: one wait takes it, however many listeners posted meanwhile. Without it no
  // listener is heard, and every link ends at its time-out.
  const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (event != nullptr) waitable_ = reinterpret_cast<std::intptr_t>(event);
}

LoopWake::~LoopWake() {
  // Ignored: our own event; the links that posted to it are gone.
  if (waitable_ != 0) (void)CloseHandle(reinterpret_cast<HANDLE>(waitable_));
}

void LoopWake::Wake() {
  // Ignored: our own event; a failed set is a lost post, which the time-out reports.
  if (waitable_ != 0) (void)SetEvent(reinterpret_cast<HANDLE>(waitable_));
}

void RunLinks(const std::vector<RadioLink*>& links, SignalWatch& signals, LoopWake& wake) {
  const FineTimerResolution fineTimers;
  DeadlineTimer deadline;
  HANDLE waited[3];
  DWORD count = 0;
  const DWORD NO_INDEX = 3;
  DWORD wakeIndex = NO_INDEX, signalIndex = NO_INDEX;
  if (wake.Waitable() != 0) {
    wakeIndex = count;
    waited[count++] = reinterpret_cast<HANDLE>(wake.Waitable());
  }
  if (signals.Waitable() != NO_WAITABLE) {
    signalIndex = count;
    waited[count++] = reinterpret_cast<HANDLE>(signals.Waitable());
  }
  // Its wake needs nothing of its own: the deadlines are looked at after every wake.
  if (deadline.Handle() != nullptr) waited[count++] = deadline.Handle();
  for (;;) {
    bool waiting = false;
    for (const RadioLink* link : links) {
      if (!link->Done() && (link->Deadline() || link->Watching())) waiting = true;
    }
    // Nothing left that could ever answer: a link without port and timer would wait for ever.
    if (!waiting) {
      InterruptAll(links);
      return;
    }
    const DWORD timeout = deadline.Arm(links);
    const DWORD woken = WaitForMultipleObjects(count, waited, FALSE, timeout);
    if (woken == WAIT_FAILED) {
      // The wait itself is broken (or Windows had no event to give the loop): looping would
      // spin.
      InterruptAll(links);
      return;
    }
    if (woken == WAIT_OBJECT_0 + signalIndex && signals.Take()) {
      InterruptAll(links);
      return;
    }
    if (woken == WAIT_OBJECT_0 + wakeIndex) {
      // One event for all links: each reads what is waiting on its port, if anything.
      for (RadioLink* link : links) {
        if (!link->Done()) link->OnPortReady();
      }
    }
    // After the ports: an expiry must not win over an answer that came with it.
    const auto now = std::chrono::steady_clock::now();
    for (RadioLink* link : links) {
      if (!link->Done()) link->OnTimeReached(now);
    }
  }
}

}  // namespace vannor::cli
