#include "cli/link_loop.h"

#include <poll.h>

#include <cerrno>

namespace vannor::cli {

// Nothing posts on Linux (cli/posix/loop_wake.cpp): the loop waits on the ports themselves.
void RunLinks(const std::vector<RadioLink*>& links, SignalWatch& signals, LoopWake& /*wake*/) {
  // Made once: the loop itself allocates nothing per byte.
  std::vector<pollfd> watched;
  std::vector<RadioLink*> owners;
  watched.reserve(links.size() + 1);
  owners.reserve(links.size() + 1);
  for (;;) {
    watched.clear();
    owners.clear();
    if (signals.Waitable() != NO_WAITABLE) {
      const int descriptor = static_cast<int>(signals.Waitable());
      watched.push_back(pollfd{.fd = descriptor, .events = POLLIN, .revents = 0});
      owners.push_back(nullptr);
    }
    bool waiting = false;
    for (RadioLink* link : links) {
      if (link->Done()) continue;
      if (link->Deadline()) waiting = true;
      if (link->Descriptor() < 0) continue;
      watched.push_back(pollfd{.fd = link->Descriptor(), .events = POLLIN, .revents = 0});
      owners.push_back(link);
      waiting = true;
    }
    // Nothing left that could ever answer: a link without port and timer would wait for ever.
    if (!waiting) {
      InterruptAll(links);
      return;
    }
    const int ready = poll(watched.data(), watched.size(), MillisecondsToNextTimer(links));
    if (ready < 0 && errno != EINTR) {
      // The wait itself is broken: looping would spin.
      InterruptAll(links);
      return;
    }
    if (ready > 0 && owners[0] == nullptr && watched[0].revents != 0 && signals.Take()) {
      InterruptAll(links);
      return;
    }
    const LinkClock::time_point now = LinkClock::now();
    for (std::size_t i = 0; i < watched.size(); ++i) {
      if (owners[i] != nullptr) owners[i]->Service(watched[i].revents != 0, now);
    }
    // The links with no port to watch still have their deadlines.
    for (RadioLink* link : links) {
      if (link->Descriptor() < 0) link->Service(false, now);
    }
  }
}

}  // namespace vannor::cli
