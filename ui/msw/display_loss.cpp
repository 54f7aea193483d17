#include "ui/display_loss.h"

namespace vannor {

// Windows' desktop does not go away under a running program; logging off closes the window.
DisplayLossGuard::DisplayLossGuard(std::function<void()> lastWords)
    : lastWords_(std::move(lastWords)) {}

DisplayLossGuard::~DisplayLossGuard() = default;

}  // namespace vannor
