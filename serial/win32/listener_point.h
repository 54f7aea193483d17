// Pause points inside the listener's loop, so that tests can stop or switch ports at the
// moments no timing hits reliably.
#pragma once

namespace vannor {

enum class ListenerPoint {
  BeforeCopy,  // has seen the stop flag at 0, has not yet taken the port lock
  BeforeWait,  // has copied the port handle and left the lock, has not yet started its wait
  // On the thread that released the listener (an open, a close, the stop): the release is set
  // and that thread has not yet gone on. Nothing it does after this may undo the listener's
  // next arming of the port.
  Released,
};

// Called at each point (on the listener thread, but Released); null (and so skipped) in the
// program.
using ListenerPauseHook = void (*)(ListenerPoint);

}  // namespace vannor
