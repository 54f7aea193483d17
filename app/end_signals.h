// The requests to end that come from outside the window (SIGTERM, SIGHUP, SIGINT, SIGQUIT,
// SIGUSR1, SIGUSR2 and SIGALRM, each of which would otherwise kill the program), turned into a
// call on the window's thread, so that the program ends the way the window does: the stop
// sequence first, the port's settings put back, the port free for the next program (app/posix).
// A Windows program of the GUI subsystem has no console, so no console control events reach it;
// logging off and shutting down come to the window as a close, which the window handles itself
// (app/win32 has nothing to do).
#pragma once

#include <functional>

#include "process/stop_signals.h"

namespace vannor {

class EndSignals {
 public:
  // Holds those signals back from every thread, so that only the watch below receives them;
  // first thing in main, before the toolkit starts threads of its own. SIGPIPE is ignored.
  static void HoldBack() { StopSignals::HoldBack(); }

  // From now until destruction, each such request calls onEnd on the window's thread, from the
  // toolkit's event loop; never from inside a signal handler.
  explicit EndSignals(std::function<void()> onEnd);
  ~EndSignals();
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

 private:
  std::function<void()> onEnd_;
  StopSignals signals_;
  unsigned watch_ = 0;  // the descriptor's source in GLib's loop
};

}  // namespace vannor
