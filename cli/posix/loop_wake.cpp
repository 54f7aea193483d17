#include "cli/loop_wake.h"

// Linux's loop waits on the ports themselves: nothing posts to it, and it waits on no wake.
namespace vannor::cli {

LoopWake::LoopWake() = default;

LoopWake::~LoopWake() = default;

void LoopWake::Wake() {}  // nothing to wake (above)

}  // namespace vannor::cli
