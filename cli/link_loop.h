// The command line's one event loop: every radio's port, every response timer and the signal
// watch, in one thread. Each link is called back when its port has something or its timer is
// due, in the order the radios were given.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/radio_link.h"
#include "cli/signal_watch.h"

namespace vannor::cli {

// Runs until every link is done, or a signal came (then every link that is not done is
// interrupted). `wake` is the one the links were made with.
void RunLinks(const std::vector<RadioLink*>& links, SignalWatch& signals, LoopWake& wake);

}  // namespace vannor::cli
