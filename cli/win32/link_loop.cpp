#include "cli/link_loop.h"

#include <windows.h>

#include "cli/win32/loop_waits.h"

namespace vannor::cli {

void RunLinks(const std::vector<RadioLink*>& links, SignalWatch& signals, LoopWake& wake) {
  const FineTimerResolution fineTimers;
  DeadlineTimer deadline;
  HANDLE waited[3];
  DWORD count = 0;
  const DWORD NO_INDEX = 3;
  DWORD wakeIndex = NO_INDEX, signalIndex = NO_INDEX;
  if (wake.Waitable() != 0) {
    wakeIndex = count;
    waited[count++] = reinterpret_cast<HANDLE>(wake.Waitable());
  }
  if (signals.Waitable() != NO_WAITABLE) {
    signalIndex = count;
    waited[count++] = reinterpret_cast<HANDLE>(signals.Waitable());
  }
  // Its wake needs nothing else of its own: the deadlines are looked at after every wake.
  DWORD timerIndex = NO_INDEX;
  if (deadline.Handle() != nullptr) {
    timerIndex = count;
    waited[count++] = deadline.Handle();
  }
  for (;;) {
    bool waiting = false;
    for (const RadioLink* link : links) {
      if (!link->Done() && (link->Deadline() || link->Watching())) waiting = true;
    }
    // Nothing left that could ever answer: a link without port and timer would wait for ever.
    if (!waiting) {
      InterruptAll(links);
      return;
    }
    const DWORD timeout = deadline.Arm(links);
    const DWORD woken = WaitForMultipleObjects(count, waited, FALSE, timeout);
    if (woken == WAIT_FAILED) {
      // The wait itself is broken (or Windows had no event to give the loop): looping would
      // spin.
      InterruptAll(links);
      return;
    }
    if (woken == WAIT_OBJECT_0 + timerIndex) deadline.Fired();
    if (woken == WAIT_OBJECT_0 + signalIndex && signals.Take()) {
      InterruptAll(links);
      return;
    }
    // One event for all links: each reads what is waiting on its port, if anything.
    const bool posted = woken == WAIT_OBJECT_0 + wakeIndex;
    const LinkClock::time_point now = LinkClock::now();
    for (RadioLink* link : links) link->Service(posted, now);
  }
}

}  // namespace vannor::cli
