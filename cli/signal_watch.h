// Turns what would end the program into an event of the command line's loop, so that the links
// end with the stop sequence instead of dying with their ports changed and exclusive. On Linux
// the signals (Ctrl-C, Ctrl-\, a terminal hang-up, a polite kill, a stray SIGUSR1/SIGUSR2/
// SIGALRM; SIGPIPE is ignored: a failed write to standard output is reported as such, not a
// death). On Windows the console's Ctrl-C, Ctrl-Break, close, log-off and shut-down.
#pragma once

#include <cstdint>

#include "process/stop_signals.h"

namespace vannor::cli {

inline constexpr std::intptr_t NO_WAITABLE = -1;

class SignalWatch {
 public:
  // Made first thing in main, before any port opens.
  SignalWatch();
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // What the loop waits on besides the ports (a descriptor on Linux, an event handle on
  // Windows); NO_WAITABLE when none could be made, and then the signals keep their default
  // effect.
  std::intptr_t Waitable() const { return waitable_; }
  // Takes the signal that made it ready; true when one had come.
  bool Take();
  bool Interrupted() const { return interrupted_; }
  // Waits up to `ms` for a signal without taking it (the loop still sees it); true when one came
  // now or earlier. Where there is nothing to wait on, only waits.
  bool Pending(int ms) const;

 private:
  // Linux: the signals' descriptor. Windows has none (process/win32): its console's events
  // come to a handler of cli/win32/signal_watch.cpp.
  StopSignals signals_;
  std::intptr_t waitable_ = NO_WAITABLE;
  bool interrupted_ = false;
};

}  // namespace vannor::cli
