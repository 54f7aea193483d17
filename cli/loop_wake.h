// Wakes the command line's loop from another thread, where the loop waits on its ports'
// listeners (platform::HAS_LISTENER_WAKES): on Windows the serial API gives the loop nothing to
// wait on, so each link's listener thread posts here (an auto-reset event that the loop waits
// on). On Linux the loop waits on the ports themselves; nothing posts, and the loop and its links
// hold an Absent in its place. One for the loop, made before any link opens, so that no post is
// lost.
#pragma once

#include <cstdint>

#include "platform/platform_has.h"

namespace vannor::cli {

// Made and used only by Windows' files (cli/win32/loop_waits.cpp).
class ListenerWake {
 public:
  ListenerWake();
  ~ListenerWake();
  ListenerWake(const ListenerWake&) = delete;
  ListenerWake& operator=(const ListenerWake&) = delete;

  // From any thread; never blocks.
  void Wake();
  // What the loop waits on for it (an event handle); 0 when Windows had none to give.
  std::intptr_t Waitable() const { return waitable_; }

 private:
  std::intptr_t waitable_ = 0;
};

// What the loop and its links share.
using LoopWake = platform::Present<ListenerWake, platform::HAS_LISTENER_WAKES>;

}  // namespace vannor::cli
