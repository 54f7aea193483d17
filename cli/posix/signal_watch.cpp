#include "cli/signal_watch.h"

#include <poll.h>

#include <thread>

namespace vannor::cli {

SignalWatch::SignalWatch() {
  // Without a descriptor the signals are left as they were: they still end the program.
  if (signals_.Descriptor() >= 0) waitable_ = signals_.Descriptor();
}

SignalWatch::~SignalWatch() = default;

bool SignalWatch::Take() {
  if (!signals_.Take()) return false;
  interrupted_ = true;
  return true;
}

bool SignalWatch::Pending(int ms) const {
  if (interrupted_) return true;
  if (waitable_ == NO_WAITABLE) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return false;
  }
  pollfd watched{.fd = static_cast<int>(waitable_), .events = POLLIN, .revents = 0};
  // A wait cut short (EINTR) or failed counts as no signal: the caller tries again or gives up.
  return poll(&watched, 1, ms) > 0;
}

}  // namespace vannor::cli
