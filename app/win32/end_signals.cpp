#include "app/end_signals.h"

namespace vannor {

// A Windows program of the GUI subsystem has no console, so no console control events reach it;
// logging off and shutting down come to the window as a close, which the window handles itself.
void EndSignals::HoldBack() {}

EndSignals::EndSignals(std::function<void()> onEnd) : onEnd_(std::move(onEnd)) {}

EndSignals::~EndSignals() = default;

}  // namespace vannor
