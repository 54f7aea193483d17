#include "serial/adapter_identity.h"

#include "serial/linux/serial_devices.h"

namespace vannor {

std::string AdapterIdentity(const std::string& device) {
  return DescribeDevice(IdentifyDevice(device));
}

}  // namespace vannor
