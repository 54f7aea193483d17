#include "ui/display_loss.h"

// Windows' desktop does not go away under a running program: there is no loss to guard against.
namespace vannor {

DisplayLossGuard::DisplayLossGuard(std::function<void()> lastWords)
    : lastWords_(std::move(lastWords)) {}  // never called (above)

DisplayLossGuard::~DisplayLossGuard() = default;

}  // namespace vannor
