#include "serial/adapter_identity.h"

namespace vannor {

// The COM ports dialog's text for a port is not known here yet.
std::string AdapterIdentity(const std::string& /*port*/) {
  return {};
}

}  // namespace vannor
