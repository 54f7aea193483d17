#include "protocol/latency_check.h"

namespace vannor {

const char* LatencyCheck::Remedy() {
  return "A USB adapter's driver setting is the usual cause: set "
         "/sys/bus/usb-serial/devices/ttyUSBn/latency_timer to 1.";
}

}  // namespace vannor
