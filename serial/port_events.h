// How a line tells its event loop about its port. On Linux the loop itself waits on the port's
// descriptor (no thread of the line's own): the line says which descriptor to watch, and the
// loop calls back when it is readable or hung up. On Windows the serial API gives an event loop
// nothing to wait on, so the line's listener thread waits and posts.
#pragma once

namespace vannor {

inline constexpr int NO_DESCRIPTOR = -1;

class PortEvents {
 public:
  // From the listener thread (Windows): bytes have arrived or the port failed; the window's
  // WM_COMM_NOTIFY. Must never block.
  virtual void PostCommNotify() = 0;
  // On the event thread (Linux): watch `descriptor` for input and hang-up from now on, in place
  // of any earlier one; NO_DESCRIPTOR to watch nothing. When it is ready, the engine reads what
  // waits (a hang-up is found by the port itself).
  virtual void WatchDescriptor(int descriptor) = 0;

 protected:
  ~PortEvents() = default;
};

}  // namespace vannor
