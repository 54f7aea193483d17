#include "cli/port_system.h"

#include <cctype>
#include <filesystem>

#include "cli/exit_codes.h"
#include "cli/posix/device_listing.h"
#include "serial/linux/linux_port.h"
#include "serial/port_links.h"
#include "serial/port_names.h"

namespace vannor::cli {

namespace fs = std::filesystem;

namespace {

// What a file that cannot be a serial line is, for the refusal.
const char* KindOf(fs::file_type kind) {
  switch (kind) {
    case fs::file_type::directory:
      return "a folder";
    case fs::file_type::fifo:
      return "a FIFO";
    case fs::file_type::regular:
      return "a regular file";
    case fs::file_type::block:
      return "a block device";
    case fs::file_type::socket:
      return "a socket";
    default:
      return "not a device";
  }
}

// What write would make of a link's device, said after the link: nothing when it would try it.
std::string LinkNote(const std::string& link) {
  std::error_code error;
  if (!fs::exists(link, error) && !error) return " (missing: unplugged?)";
  const std::string refusal = RefusalWithoutOpening(link);
  return refusal.empty() ? std::string() : " (write refuses it: " + refusal + ")";
}

// One COMn row of the listing: what the name opens, and why it would be refused.
void PrintPortName(std::FILE* out, int index) {
  const std::string name(PortName(index));
  const ResolvedPort port = ResolvePort(index);
  const std::string path = Printable(port.path);
  if (!port.refusal.empty()) {
    std::fprintf(out, "  %-5s    cannot be used: %s: %s\n", name.c_str(), path.c_str(),
                 port.refusal.c_str());
  } else if (!PortLinkOf(index, port).linked) {
    std::fprintf(out, "  %-5s    %s (not mapped)\n", name.c_str(), path.c_str());
  } else if (!port.linkTarget.empty()) {
    std::fprintf(out, "  %-5s -> %s%s\n", name.c_str(), Printable(port.linkTarget).c_str(),
                 LinkNote(port.path).c_str());
  } else {
    // Something other than a link where the link belongs: it is what the name opens.
    std::fprintf(out, "  %-5s    %s%s\n", name.c_str(), path.c_str(), LinkNote(port.path).c_str());
  }
}

}  // namespace

const PortHelpTexts& PortHelp() {
  static constexpr PortHelpTexts texts{
      .commands =
          "  ports                      list serial devices and the COMn names linked to them\n"
          "  map COMn DEVICE            make COMn open DEVICE (for this program and the window)\n"
          "  unmap COMn                 remove that link again\n",
      .portOption =
          "  -p, --port PORT   COM1 to COM10 (the per-user link, else /dev/ttyS<n-1>) or a device "
          "path\n",
      .ports =
          "Usage: vannor-cli ports\n"
          "Lists the serial devices found (/dev/serial/by-id, ttyUSB, ttyACM, and the ttyS ports\n"
          "that are real UARTs), each with its driver, maker, product, serial number and latency\n"
          "timer or receive trigger where the system tells them, and which COMn names link to\n"
          "which device.\n",
      .map =
          "Usage: vannor-cli map COMn DEVICE\n"
          "Makes COMn (COM1 to COM10) open DEVICE, for this program and for the window, by a link "
          "in\n"
          "$XDG_CONFIG_HOME/vannor/ports (~/.config/vannor/ports). Prefer the stable names in\n"
          "/dev/serial/by-id, which survive replugging.\n",
      .unmap =
          "Usage: vannor-cli unmap COMn\n"
          "Removes the link that map made; COMn then opens /dev/ttyS<n-1> again.\n",
  };
  return texts;
}

int ListPorts(std::FILE* out) {
  PrintSerialDevices(out, FindSerialDevices());
  std::fprintf(out, "Port names:\n");
  for (int index = 0; index < PORT_COUNT; ++index) PrintPortName(out, index);
  return EXIT_SUCCESS_ALL;
}

int ComIndexOf(const std::string& comName) {
  std::string upper = comName;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return PortIndexOf(upper);
}

// A folder, a FIFO, a file: what the open would refuse. A device not there now is an adapter
// unplugged, which the link may name.
std::string RefusedTarget(const std::string& device) {
  std::error_code error;
  const fs::file_type kind = fs::status(device, error).type();
  if (kind == fs::file_type::not_found || kind == fs::file_type::character) return std::string();
  if (error) return error.message();
  return std::string("not a serial line (") + KindOf(kind) + ")";
}

std::string_view MissingTargetWords() {
  return "does not exist now";
}

}  // namespace vannor::cli
