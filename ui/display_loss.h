// The display connection can die under the window (the X server killed, a remote session cut).
// The toolkit would then end the process at once, leaving the port raw, exclusive and locked for
// the next program. This guard has the last word instead: it runs the stop sequence, then ends
// the process as the toolkit would have (ui/gtk). Windows' desktop does not go away under a
// running program: ui/msw has nothing to do.
#pragma once

#include <functional>

namespace vannor {

class DisplayLossGuard {
 public:
  // lastWords runs on the window's thread when the connection is found dead; the process then
  // ends with status 1.
  explicit DisplayLossGuard(std::function<void()> lastWords);
  ~DisplayLossGuard();
  DisplayLossGuard(const DisplayLossGuard&) = delete;
  DisplayLossGuard& operator=(const DisplayLossGuard&) = delete;

 private:
  std::function<void()> lastWords_;
  void* display_ = nullptr;
};

}  // namespace vannor
