#include "cli/port_commands.h"

#include "cli/exit_codes.h"
#include "serial/port_links.h"
#include "serial/port_names.h"

namespace vannor::cli {

namespace {

// The list index of the COM name, or -1 after telling the user what is wrong with it.
int ComIndex(const std::string& comName) {
  const int index = ComIndexOf(comName);
  if (index < 0) std::fprintf(stderr, "vannor-cli: '%s' is not COM1 to COM10\n", comName.c_str());
  return index;
}

// Where a name leads now, for the lines of map and unmap.
std::string Destination(int index) {
  const PortLinkState state = PortLinkOf(index);
  return state.refusal.empty() ? state.opens
                               : "nothing (" + state.opens + ": " + state.refusal + ")";
}

// A failed write or removal: the place at fault, where there is one, and the system's words.
void TellFailure(const PortLinkChange& change) {
  std::fprintf(stderr, "vannor-cli: %s%s%s\n", change.where.c_str(),
               change.where.empty() ? "" : ": ", change.reason.c_str());
}

}  // namespace

int MapPort(const std::string& comName, const std::string& device, std::FILE* out) {
  const int index = ComIndex(comName);
  if (index < 0) return EXIT_USAGE;
  const std::string refusal = device.empty() ? std::string() : RefusedTarget(device);
  if (!refusal.empty()) {
    std::fprintf(stderr, "vannor-cli: %s: %s\n", device.c_str(), refusal.c_str());
    return EXIT_USAGE;
  }
  const PortLinkChange change = WritePortLink(index, device);
  switch (change.failure) {
    case PortLinkFailure::None:
      break;
    case PortLinkFailure::NoFolder:
    case PortLinkFailure::BadDevice:
      TellFailure(change);
      return EXIT_USAGE;
    case PortLinkFailure::NotWritten:
      TellFailure(change);
      return EXIT_PORT_UNUSABLE;
  }
  const std::string name(PortName(index));
  // Ignored results, here and below: CheckedExit tells a lost standard output once, at the end.
  (void)std::fprintf(out, "%s -> %s\n", name.c_str(), change.target.c_str());
  if (!PortLinkOf(index).connected) {
    std::fprintf(stderr, "vannor-cli: note: %s %s (unplugged?)\n", change.target.c_str(),
                 std::string(MissingTargetWords()).c_str());
  }
  return EXIT_SUCCESS_ALL;
}

int UnmapPort(const std::string& comName, std::FILE* out) {
  const int index = ComIndex(comName);
  if (index < 0) return EXIT_USAGE;
  const std::string name(PortName(index));
  if (!PortLinkOf(index).linked) {
    (void)std::fprintf(out, "%s was not mapped; it opens %s\n", name.c_str(),
                       Destination(index).c_str());
    return EXIT_SUCCESS_ALL;
  }
  const PortLinkChange change = RemovePortLink(index);
  if (change.failure != PortLinkFailure::None) {
    TellFailure(change);
    return EXIT_PORT_UNUSABLE;
  }
  (void)std::fprintf(out, "%s unmapped; it opens %s\n", name.c_str(), Destination(index).c_str());
  return EXIT_SUCCESS_ALL;
}

}  // namespace vannor::cli
