// The window's own event loop watching the serial port: on GTK a GLib source on the port's
// descriptor, so that an arriving byte reaches the engine with no thread in between. On Windows
// the line's listener thread posts instead, and nothing is watched here.
#pragma once

#include <functional>

namespace vannor {

class PortWatch {
 public:
  // Called on the window's thread when the descriptor is readable; hungUp when it also reported
  // a hang-up or an error.
  using Ready = std::function<void(bool hungUp)>;

  explicit PortWatch(Ready ready) : ready_(std::move(ready)) {}
  ~PortWatch() { Watch(-1); }
  PortWatch(const PortWatch&) = delete;
  PortWatch& operator=(const PortWatch&) = delete;

  // Watches `descriptor` from now on, in place of any earlier one; -1 for none.
  void Watch(int descriptor);

 private:
  Ready ready_;
  unsigned source_ = 0;
};

}  // namespace vannor
