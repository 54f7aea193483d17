// Wakes the command line's loop from another thread. On Windows the serial API gives the loop
// nothing of a port to wait on, so each link's listener thread posts here (an auto-reset event
// that the loop waits on; cli/win32/loop_wake.cpp). On Linux the loop waits on the ports
// themselves and nothing posts (cli/posix/loop_wake.cpp). One for the loop, made before any link
// opens, so that no post is lost.
#pragma once

#include <cstdint>

namespace vannor::cli {

class LoopWake {
 public:
  LoopWake();
  ~LoopWake();
  LoopWake(const LoopWake&) = delete;
  LoopWake& operator=(const LoopWake&) = delete;

  // From any thread; never blocks.
  void Wake();
  // What the loop waits on for it (an event handle); 0 when there is none (Linux, or Windows had
  // none to give).
  std::intptr_t Waitable() const { return waitable_; }

 private:
  std::intptr_t waitable_ = 0;
};

}  // namespace vannor::cli
