// The command line's one event loop: every radio's port, every response timer and the signal
// watch, in one thread. Each link is called back when its port has something or its timer is
// due, in the order the radios were given.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "cli/radio_link.h"
#include "cli/signal_watch.h"

namespace vannor::cli {

// Runs until every link is done, or a signal came (then every link that is not done is
// interrupted). `wake` is the one the links were made with.
void RunLinks(const std::vector<RadioLink*>& links, SignalWatch& signals, LoopWake& wake);

// What each platform's loop shares: the milliseconds until the earliest running timer of the
// links, rounded up so that the wait never returns just before it (-1 when none runs), and the
// end of every link at a signal or a broken wait.
int MillisecondsToNextTimer(const std::vector<RadioLink*>& links);
// The earliest running timer of the links, if any.
std::optional<LinkClock::time_point> NextDeadline(const std::vector<RadioLink*>& links);
void InterruptAll(const std::vector<RadioLink*>& links);

}  // namespace vannor::cli
