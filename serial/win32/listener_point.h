// Pause points inside the listener's loop, so that tests can stop or switch ports at the
// moments no timing hits reliably.
#pragma once

namespace vannor {

enum class ListenerPoint {
  BeforeCopy,  // has seen the stop flag at 0, has not yet taken the port lock
  BeforeWait,  // has copied the port handle and left the lock, has not yet started its wait
};

// Called on the listener thread at each point; null (and so skipped) in the program.
using ListenerPauseHook = void (*)(ListenerPoint);

}  // namespace vannor
