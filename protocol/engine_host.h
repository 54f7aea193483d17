// What the protocol engine needs of whoever runs it, besides the port: the response timer and
// where an exchange's outcome goes. Progress goes to the engine's observers; the DSP choice and
// the image come with the request itself.
#pragma once

#include <chrono>

#include "protocol/exchange_outcome.h"

namespace vannor {

inline constexpr int RESPONSE_TIMEOUT_MS = 5000;

using EngineClock = std::chrono::steady_clock;

class EngineHost {
 public:
  // The one response timer. An expiry arrives later through the engine's OnTimer.
  virtual void StartResponseTimer(int milliseconds) = 0;
  virtual void StopResponseTimer() = 0;
  // Stops the timer and starts it again: at every byte, so a host whose timer restarts in one
  // step does it in one.
  virtual void RestartResponseTimer(int milliseconds) {
    StopResponseTimer();
    StartResponseTimer(milliseconds);
  }
  // The time of the event being handled. The quiet wait before a request is measured by it, not
  // by the count of timer expiries: a host timer may tick coarser than the wait (Windows' timers
  // tick at about 15.6 ms) or come a moment early.
  virtual EngineClock::time_point Now() { return EngineClock::now(); }
  // An exchange or a click ended so; the window shows its message box here (modal: returns
  // when the user has closed it). Version reads end with no box.
  virtual void ReportOutcome(const ExchangeOutcome& outcome) = 0;

 protected:
  ~EngineHost() = default;
};

}  // namespace vannor
