#include "cli/signal_watch.h"

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

}  // namespace vannor::cli
