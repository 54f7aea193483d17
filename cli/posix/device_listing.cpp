#include "cli/posix/device_listing.h"

namespace vannor::cli {

void PrintSerialDevices(std::FILE* out, const std::vector<SerialDevice>& devices) {
  // Ignored results, here and below: CheckedExit tells a lost standard output once, at the end.
  (void)std::fprintf(out, "Serial devices:\n");
  if (devices.empty()) (void)std::fprintf(out, "  (none found)\n");
  for (const SerialDevice& device : devices) {
    std::string line = "  " + device.path;
    if (device.node != device.path) line += " -> " + device.node;
    const std::string identity = DescribeDevice(device);
    if (!identity.empty()) line += "  " + identity;
    (void)std::fprintf(out, "%s\n", line.c_str());
  }
}

}  // namespace vannor::cli
