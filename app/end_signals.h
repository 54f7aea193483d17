// The requests to end that come from outside the window (on Linux SIGTERM, SIGHUP and SIGINT),
// turned into a call on the window's thread, so that the program ends the way the window does:
// the stop sequence first, the port's settings put back, the port free for the next program.
#pragma once

#include <functional>

namespace vannor {

class EndSignals {
 public:
  // From now until destruction, each such request calls onEnd on the window's thread, from the
  // toolkit's event loop; never from inside a signal handler.
  explicit EndSignals(std::function<void()> onEnd);
  ~EndSignals();
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

 private:
  std::function<void()> onEnd_;
  // What the platform's file keeps to stop watching (on Linux: the sources in GLib's loop).
  unsigned watches_[3] = {};
};

}  // namespace vannor
