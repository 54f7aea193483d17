// How a line tells its event loop about its port: one call, which each platform makes for what
// its loop needs. On Linux the loop itself waits on the port's descriptor (no thread of the
// line's own): the call comes on the event thread whenever the descriptor to wait on changes
// (Line::Waitable), and the loop reads the port when it is readable or hung up. On Windows the
// serial API gives an event loop nothing to wait on, so the line's listener thread waits, and
// calls from there when bytes have arrived or the port failed.
#pragma once

namespace vannor {

inline constexpr int NO_DESCRIPTOR = -1;

class PortEvents {
 public:
  // Linux: on the event thread, the descriptor to wait on changed. Windows: from the listener
  // thread, the port has something to read or failed; must never block.
  virtual void PortEvent() = 0;

 protected:
  ~PortEvents() = default;
};

}  // namespace vannor
