// The commands that look after port names rather than talk to a radio.
#pragma once

#include <cstdio>
#include <string>

namespace vannor::cli {

// Lists the serial devices found and the COMn links; returns the exit code.
int ListPorts(std::FILE* out);
// Makes the per-user link for COMn name device; returns the exit code.
int MapPort(const std::string& comName, const std::string& device, std::FILE* out);
// Removes it; returns the exit code.
int UnmapPort(const std::string& comName, std::FILE* out);

}  // namespace vannor::cli
