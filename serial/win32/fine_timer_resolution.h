// Windows' timers tick at 15.6 ms unless a program asks for finer: the quiet wait of 4 ms before a
// request would take a whole tick. The window's response timer and vannor-cli's loop ask for 1 ms
// while they run, through this.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

namespace vannor {

class FineTimerResolution {
 public:
  FineTimerResolution() : granted_(timeBeginPeriod(1) == TIMERR_NOERROR) {}
  ~FineTimerResolution() {
    if (granted_) (void)timeEndPeriod(1);  // ours, begun above
  }
  FineTimerResolution(const FineTimerResolution&) = delete;
  FineTimerResolution& operator=(const FineTimerResolution&) = delete;

 private:
  // Without it timers fire late, and the quiet wait is measured by the clock anyway.
  const bool granted_;
};

}  // namespace vannor
