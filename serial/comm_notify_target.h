// Where the listener thread posts its "bytes have arrived" notification (the window's
// WM_COMM_NOTIFY). Posting must never block: it is called from the listener thread.
#pragma once

namespace vannor {

class CommNotifyTarget {
 public:
  virtual void PostCommNotify() = 0;

 protected:
  ~CommNotifyTarget() = default;
};

}  // namespace vannor
