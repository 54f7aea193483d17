#include "protocol/latency_check.h"

namespace vannor {

const char* LatencyCheck::Remedy() {
  return "A USB adapter's setting is the usual cause: Device Manager, the port, Port Settings, "
         "Advanced, Latency Timer: 1 ms.";
}

}  // namespace vannor
