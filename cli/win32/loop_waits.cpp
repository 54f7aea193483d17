#include "cli/win32/loop_waits.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <ratio>

#include "cli/link_loop.h"

namespace vannor::cli {

namespace {

// The wait's own time-out to the links' next deadline, where no timer serves.
DWORD TimeOutToNextDeadline(const std::vector<RadioLink*>& links) {
  const int milliseconds = MillisecondsToNextTimer(links);
  return milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
}

}  // namespace

DWORD DeadlineTimer::Arm(const std::vector<RadioLink*>& links) {
  const std::optional<LinkClock::time_point> due = NextDeadline(links);
  if (timer_ == nullptr) return TimeOutToNextDeadline(links);
  if (!due) {
    // Ignored: a timer that still fires only wakes the loop once more.
    (void)CancelWaitableTimer(timer_);
    arming_.Clear();
    return INFINITE;
  }
  if (!arming_.MustSet(*due)) return INFINITE;
  using Ticks = std::chrono::duration<long long, std::ratio<1, 10'000'000>>;
  const long long rest = std::chrono::ceil<Ticks>(*due - LinkClock::now()).count();
  // Negative: relative to now, in 100 ns ticks; at least one, so that it is due at once.
  LARGE_INTEGER dueTime;
  dueTime.QuadPart = -std::max(rest, 1LL);
  if (SetWaitableTimer(timer_, &dueTime, 0, nullptr, nullptr, FALSE)) {
    arming_.Set(*due);
    return INFINITE;
  }
  arming_.Clear();
  return TimeOutToNextDeadline(links);
}

}  // namespace vannor::cli
