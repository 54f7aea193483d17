#include "app/end_signals.h"

// A Windows program of the GUI subsystem has no console, so no console control events reach it;
// logging off and shutting down come to the window as a close, which the window handles itself.
namespace vannor {

EndSignals::EndSignals(std::function<void()> onEnd) : onEnd_(std::move(onEnd)) {}  // none come

EndSignals::~EndSignals() = default;

}  // namespace vannor
