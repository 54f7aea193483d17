#include "cli/same_device.h"

#include "serial/port_names.h"

namespace vannor::cli {

std::string SameDeviceTwice(const std::vector<std::string>& ports) {
  std::vector<std::string> keys;
  for (const std::string& port : ports) {
    const ResolvedPort resolved = ResolvePortName(port);
    keys.push_back(resolved.refusal.empty() ? DeviceKey(resolved.path) : std::string());
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (!keys[i].empty() && keys[i] == keys[j]) {
        return "ports " + ports[j] + " and " + ports[i] + " are the same device";
      }
    }
  }
  return std::string();
}

}  // namespace vannor::cli
