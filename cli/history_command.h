// `vannor-cli history`: the recorded requests as a table, or as their lines of JSON.
#pragma once

#include <cstdio>

#include "cli/command_line.h"
#include "cli/signal_watch.h"

namespace vannor::cli {

// Prints the records the options choose on `out`; the exit status. A signal ends the reading
// at once (130); a file that cannot be read is named with its reason (1).
int ShowHistory(const Options& options, const SignalWatch& signals, std::FILE* out);

}  // namespace vannor::cli
