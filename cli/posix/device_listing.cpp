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
    (void)std::fprintf(out, "%s\n", Printable(line).c_str());
  }
}

std::string Printable(const std::string& name) {
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      shown += "\\\\";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[5];
      (void)std::snprintf(escape, sizeof escape, "\\x%02X", byte);  // always fits
      shown += escape;
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace vannor::cli
