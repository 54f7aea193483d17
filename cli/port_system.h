// What the port commands are on each system (cli/posix/port_system.cpp, cli/win32/port_system.cpp):
// their help, the listing, how a COM name may be written and what a link may name. Map and unmap
// themselves are the same on both (port_commands.h).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vannor::cli {

// The help of these commands and of --port, in this system's terms.
struct PortHelpTexts {
  std::string_view commands;    // their lines in the program's help
  std::string_view portOption;  // the line of --port
  std::string_view ports;
  std::string_view map;
  std::string_view unmap;
};
const PortHelpTexts& PortHelp();

// Lists the serial devices found and the COMn links; returns the exit code.
int ListPorts(std::FILE* out);

// The list index of the COM name as the user wrote it ("com1" as well), or -1 when it is none of
// COM1 to COM10.
int ComIndexOf(const std::string& comName);
// Why `device` cannot be what a link names, as far as can be told before the link is written;
// empty when it may be (an adapter unplugged may).
std::string RefusedTarget(const std::string& device);
// How map's note says that what the link names is not there now.
std::string_view MissingTargetWords();

}  // namespace vannor::cli
