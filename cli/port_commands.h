// The commands that look after port names rather than talk to a radio. Map and unmap are the same
// on both systems (port_commands.cpp); the listing and what a link may name are each system's
// (port_system.h).
#pragma once

#include <cstdio>
#include <string>

#include "cli/port_system.h"

namespace vannor::cli {

// Makes the per-user link for COMn name device; returns the exit code.
int MapPort(const std::string& comName, const std::string& device, std::FILE* out);
// Removes it; returns the exit code.
int UnmapPort(const std::string& comName, std::FILE* out);

}  // namespace vannor::cli
