#include "serial/adapter_identity.h"

#include "serial/linux/serial_devices.h"
#include "serial/port_names.h"

namespace vannor {

std::string AdapterIdentity(const std::string& port) {
  // The link a COM name opens is followed to the node, as the COM ports dialog does.
  return DescribeDevice(IdentifyDevice(ResolvePortName(port).path));
}

}  // namespace vannor
