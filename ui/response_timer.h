// The window's response timer (RESPONSE_TIMER), set one-shot to the link's deadline; its expiry
// comes on the window's thread. On GTK the window's wxTimer (GLib's millisecond timeouts). On
// Windows a timer-queue timer at the system's finest resolution, queued to the window's thread:
// a window timer (SetTimer) never ticks sooner than 10 ms and usually at 15.6, coarser than the
// 4 ms quiet period before a request.
#pragma once

#include <wx/window.h>

#include <functional>
#include <memory>

namespace vannor {

class ResponseTimer {
 public:
  ResponseTimer(wxWindow& window, std::function<void()> expired);
  ~ResponseTimer();
  ResponseTimer(const ResponseTimer&) = delete;
  ResponseTimer& operator=(const ResponseTimer&) = delete;

  // Fires once after `milliseconds` (at least 1), in place of any expiry still to come; until that
  // expiry has reached the window it is running (on Windows it comes again while it has not).
  void StartOnce(int milliseconds);
  void Stop();
  bool IsRunning() const;
  // For tests: the next expiry is lost on its way to the window, as one that crosses threads
  // may be (Windows).
  void LoseNextExpiry();

 private:
  struct Platform;
  std::function<void()> expired_;
  std::unique_ptr<Platform> platform_;
};

}  // namespace vannor
