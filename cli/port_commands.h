// The commands that look after port names rather than talk to a radio.
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
// Makes the per-user link for COMn name device; returns the exit code.
int MapPort(const std::string& comName, const std::string& device, std::FILE* out);
// Removes it; returns the exit code.
int UnmapPort(const std::string& comName, std::FILE* out);

}  // namespace vannor::cli
