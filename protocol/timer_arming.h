// When a host's own one-shot timer must be set again for the link's deadline. Every byte of an
// image moves the deadline on; a timer that is due no later stays as it is, comes a moment
// early, and the link has it set again for the rest (Link::OnDeadline). Setting the timer at each
// byte would cost about as much as the rest of the byte's handling (a wxTimer on GTK, a call to
// Wine's server for a waitable timer), and under Wine each setting is rounded up again to the
// server's millisecond.
#pragma once

#include <optional>

#include "protocol/engine_host.h"

namespace vannor {

class TimerArming {
 public:
  // Whether a timer set as recorded must be set again for `deadline`.
  bool MustSet(EngineClock::time_point deadline) const { return !setFor_ || deadline < *setFor_; }
  void Set(EngineClock::time_point deadline) { setFor_ = deadline; }
  // The timer fired or was stopped.
  void Clear() { setFor_.reset(); }

 private:
  std::optional<EngineClock::time_point> setFor_;
};

}  // namespace vannor
