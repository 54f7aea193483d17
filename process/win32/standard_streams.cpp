#include "process/standard_streams.h"

namespace vannor {

void EnsureStandardStreams() {
  // Nothing to fill: Windows hands out handles, and a port never takes a closed stream's place.
}

}  // namespace vannor
