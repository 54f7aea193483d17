// A signal's end of the window (SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM):
// the cancel command's end without a question. It cannot come while a dialog of the window's
// runs modally (a box, a question, the file choice): that dialog's loop would go on running. So
// every such dialog is shown through here, where a signal finds it, closes it and looks again
// shortly until it has gone.
#pragma once

#include <wx/dialog.h>
#include <wx/timer.h>

#include <functional>

namespace vannor {

class SignalledEnd {
 public:
  // `ready` says whether the window can end now (initialised, its modal loop running, not
  // already ended); `end` ends it.
  SignalledEnd(wxWindow& window, int retryTimerId, std::function<bool()> ready,
               std::function<void()> end);
  ~SignalledEnd();
  SignalledEnd(const SignalledEnd&) = delete;
  SignalledEnd& operator=(const SignalledEnd&) = delete;

  // Shows a dialog of the window's modally, where a signal can find and close it.
  int ShowModal(wxDialog& dialog);
  // A signal asked the window to end.
  void Request();
  bool Requested() const { return requested_; }
  // The window is ending anyway: no retry may come.
  void Cancel() { retry_.Stop(); }

 private:
  void OnRetry(wxTimerEvent& event);

  wxWindow& window_;
  const int retryTimerId_;
  std::function<bool()> ready_;
  std::function<void()> end_;
  wxTimer retry_;
  bool requested_ = false;
  // The innermost dialog the window has running modally, and the one a signal has closed.
  wxDialog* nested_ = nullptr;
  const wxDialog* closed_ = nullptr;
};

}  // namespace vannor
