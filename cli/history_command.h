// `vannor-cli history`: the recorded requests as a table, or as their lines of JSON.
#pragma once

#include <cstdio>

#include "cli/command_line.h"

namespace vannor::cli {

// Prints the records the options choose on `out`; the exit status.
int ShowHistory(const Options& options, std::FILE* out);

}  // namespace vannor::cli
