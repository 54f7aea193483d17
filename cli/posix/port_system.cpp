#include "cli/port_commands.h"

#include <stdio.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <vector>

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

// Why `device` cannot be a serial line, as the open would find: a folder, a FIFO, a file. A
// device not there now is an adapter unplugged, which the link may name. Empty when it may be.
std::string NotASerialLine(const std::string& device) {
  std::error_code error;
  const fs::file_type kind = fs::status(device, error).type();
  if (kind == fs::file_type::not_found || kind == fs::file_type::character) return std::string();
  if (error) return error.message();
  return std::string("not a serial line (") + KindOf(kind) + ")";
}

// The list index of "COMn" in any case ("com1" as --port takes it), or -1 after telling the
// user what is wrong with it.
int ComIndex(const std::string& comName) {
  std::string upper = comName;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const int index = PortIndexOf(upper);
  if (index < 0) std::fprintf(stderr, "vannor-cli: '%s' is not COM1 to COM10\n", comName.c_str());
  return index;
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
  } else if (port.path != PortLinkPath(index)) {
    std::fprintf(out, "  %-5s    %s (not mapped)\n", name.c_str(), path.c_str());
  } else if (!port.linkTarget.empty()) {
    std::fprintf(out, "  %-5s -> %s%s\n", name.c_str(), Printable(port.linkTarget).c_str(),
                 LinkNote(port.path).c_str());
  } else {
    // Something other than a link where the link belongs: it is what the name opens.
    std::fprintf(out, "  %-5s    %s%s\n", name.c_str(), path.c_str(), LinkNote(port.path).c_str());
  }
}

// Where a name leads now, for the lines of map and unmap.
std::string Destination(int index) {
  const ResolvedPort port = ResolvePort(index);
  return port.refusal.empty() ? port.path : "nothing (" + port.path + ": " + port.refusal + ")";
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

int MapPort(const std::string& comName, const std::string& device, std::FILE* out) {
  const int index = ComIndex(comName);
  if (index < 0) return EXIT_USAGE;
  const std::string refusal = device.empty() ? std::string() : NotASerialLine(device);
  if (!refusal.empty()) {
    std::fprintf(stderr, "vannor-cli: %s: %s\n", device.c_str(), refusal.c_str());
    return EXIT_USAGE;
  }
  const PortLinkChange change = WritePortLink(index, device);
  switch (change.failure) {
    case PortLinkFailure::None:
      break;
    case PortLinkFailure::NoFolder:
      std::fprintf(stderr, "vannor-cli: %s\n", change.reason.c_str());
      return EXIT_USAGE;
    case PortLinkFailure::BadDevice:
      std::fprintf(stderr, "vannor-cli: %s%s%s\n", change.where.c_str(),
                   change.where.empty() ? "" : ": ", change.reason.c_str());
      return EXIT_USAGE;
    case PortLinkFailure::NotWritten:
      std::fprintf(stderr, "vannor-cli: %s: %s\n", change.where.c_str(), change.reason.c_str());
      return EXIT_PORT_UNUSABLE;
  }
  std::fprintf(out, "%s -> %s\n", PortName(index).data(), change.target.c_str());
  std::error_code error;
  if (!fs::exists(change.target, error)) {
    std::fprintf(stderr, "vannor-cli: note: %s does not exist now (unplugged?)\n",
                 change.target.c_str());
  }
  return EXIT_SUCCESS_ALL;
}

int UnmapPort(const std::string& comName, std::FILE* out) {
  const int index = ComIndex(comName);
  if (index < 0) return EXIT_USAGE;
  if (!PortLinkOf(index).linked) {
    std::fprintf(out, "%s was not mapped; it opens %s\n", PortName(index).data(),
                 Destination(index).c_str());
    return EXIT_SUCCESS_ALL;
  }
  const PortLinkChange change = RemovePortLink(index);
  if (change.failure != PortLinkFailure::None) {
    std::fprintf(stderr, "vannor-cli: %s: %s\n", change.where.c_str(), change.reason.c_str());
    return EXIT_PORT_UNUSABLE;
  }
  std::fprintf(out, "%s unmapped; it opens %s\n", PortName(index).data(),
               Destination(index).c_str());
  return EXIT_SUCCESS_ALL;
}

}  // namespace vannor::cli
