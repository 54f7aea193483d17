#include "cli/port_system.h"

#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "serial/port_links.h"
#include "serial/port_names.h"
#include "serial/win32/com_ports.h"

namespace vannor::cli {

namespace {

// One COMn row of the listing: what the name opens, and why it would not.
void PrintPortName(std::FILE* out, int index) {
  const std::string name(PortName(index));
  const PortLinkState state = PortLinkOf(index);
  // Ignored results, here and below: CheckedExit tells a lost standard output once, at the end.
  if (!state.refusal.empty()) {
    (void)std::fprintf(out, "  %-5s    cannot be used: %s: %s\n", name.c_str(), state.opens.c_str(),
                       state.refusal.c_str());
  } else if (!state.linked) {
    (void)std::fprintf(out, "  %-5s    %s (not mapped)%s\n", name.c_str(), state.opens.c_str(),
                       state.connected ? "" : " (not present)");
  } else {
    (void)std::fprintf(out, "  %-5s -> %s%s\n", name.c_str(), state.opens.c_str(),
                       state.connected ? "" : " (missing: unplugged?)");
  }
}

}  // namespace

const PortHelpTexts& PortHelp() {
  static constexpr PortHelpTexts texts{
      .commands =
          "  ports                      list the COM ports of this computer and the COMn links\n"
          "  map COMn COMm              make COMn open COMm (for this program and the window)\n"
          "  unmap COMn                 remove that link again\n",
      .portOption = "  -p, --port PORT   COM1, COM2, ... (also \\\\.\\COM12 style names)\n",
      .ports =
          "Usage: vannor-cli ports\n"
          "Lists the COM ports present, with the names Device Manager gives them, the maker,\n"
          "the name the USB device reports and its serial number where Windows knows them, and\n"
          "which port each of COM1 to COM10 (the window's port list) opens.\n",
      .map =
          "Usage: vannor-cli map COMn COMm\n"
          "Makes COMn (COM1 to COM10) open the port COMm, COM11 and above included, for this\n"
          "program and for the window, by a value under "
          "HKEY_CURRENT_USER\\Software\\Vannor\\Ports.\n"
          "No administrator and no Device Manager needed.\n",
      .unmap =
          "Usage: vannor-cli unmap COMn\n"
          "Removes the link that map made; COMn then opens the port Windows gave that name.\n",
  };
  return texts;
}

int ListPorts(std::FILE* out) {
  const std::vector<ComPort> ports = FindComPorts();
  (void)std::fprintf(out, "Serial devices:\n");
  if (ports.empty()) (void)std::fprintf(out, "  (none found)\n");
  for (const ComPort& port : ports) {
    const std::string described = DescribeComPort(port);
    (void)std::fprintf(out, "  %-5s  %s\n", port.name.c_str(),
                       (described == port.name ? port.device : described).c_str());
  }
  (void)std::fprintf(out, "Port names:\n");
  for (int index = 0; index < PORT_COUNT; ++index) PrintPortName(out, index);
  return EXIT_SUCCESS_ALL;
}

int ComIndexOf(const std::string& comName) {
  // "\\.\COM3" names the device itself, past any link: no name of the list.
  if (comName.rfind("\\\\.\\", 0) == 0) return -1;
  return PortIndexOf(ComPortName(comName));
}

std::string RefusedTarget(const std::string& /*device*/) {
  return std::string();  // WritePortLink refuses what is no COM port name; an unplugged one may be
}

std::string_view MissingTargetWords() {
  return "is not present now";
}

}  // namespace vannor::cli
