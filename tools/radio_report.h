// The simulator programs' log: one line for each thing the radio has seen since the last look.
#pragma once

#include "tools/radio_session.h"
#include "tools/radio_sim.h"

namespace vannor::sim {

// Prints to standard output what changed from `before` to `now`, and "image ended after N
// bytes" for `ended` when it is not null (an image that ended since the last look), in the
// order they happened; the radio's thread is never slowed by printing.
void ReportChanges(const RadioRecord& before, const RadioRecord& now, const EndedImage* ended);

}  // namespace vannor::sim
