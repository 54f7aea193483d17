// What the Windows loop waits on besides the console's stop event and the listeners' wake
// (cli/loop_wake.h): its next deadline as a waitable timer due to the 100 ns, with Windows'
// timers at 1 ms while it runs.
#pragma once

#include <windows.h>

#include <vector>

#include "cli/radio_link.h"
#include "protocol/timer_arming.h"
#include "serial/win32/fine_timer_resolution.h"

namespace vannor::cli {

// The links' next deadline as a waitable timer, due to the 100 ns: a wait's own time-out counts
// whole milliseconds, and one rounded up at every wake puts up to a millisecond on each quiet
// wait of 4. It is set again only as TimerArming says. Without a timer (Windows had none to give)
// the wait's time-out serves.
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
  DWORD Arm(const std::vector<RadioLink*>& links);
  // The wait ended on the timer, which that wait reset.
  void Fired() { arming_.Clear(); }

 private:
  const HANDLE timer_;
  TimerArming arming_;
};

}  // namespace vannor::cli
