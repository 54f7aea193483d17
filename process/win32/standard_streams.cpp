#include "process/standard_streams.h"

namespace vannor {

// Windows hands out handles, not the lowest free number: a port can never take the place of a
// closed standard stream.
void EnsureStandardStreams() {}

}  // namespace vannor
