// The simulator programs' log: one line for each thing the radio has seen since the last look.
#pragma once

#include "tools/radio_session.h"

namespace vannor::sim {

// Prints to standard output what changed from `before` to `now`; the radio's thread is never
// slowed by printing.
void ReportChanges(const RadioRecord& before, const RadioRecord& now);

}  // namespace vannor::sim
