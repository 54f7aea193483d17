// Pause points inside the listener's loop, so that tests can stop or switch ports at the
// moments no timing hits reliably.
#pragma once

#include <atomic>

namespace vannor {

enum class ListenerPoint {
  BeforeCopy,  // has seen stopListener at 0, has not yet taken portLock
  BeforeWait,  // has copied portHandle and left portLock, has not yet started its wait
};

// Called on the listener thread at each point; null (and so skipped) in the program.
extern std::atomic<void (*)(ListenerPoint)> listenerPauseHook;

}  // namespace vannor
