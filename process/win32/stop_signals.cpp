#include "process/stop_signals.h"

// Windows has no such signals: its console's events reach vannor-cli through a handler of its
// own (cli/win32/signal_watch.cpp), and the window program gets none. The descriptor stays -1.
namespace vannor {

void StopSignals::HoldBack() {}  // nothing to hold back (above)

StopSignals::StopSignals() = default;

StopSignals::~StopSignals() = default;

bool StopSignals::Take() {
  return false;  // no descriptor, so nothing ever comes (above)
}

}  // namespace vannor
