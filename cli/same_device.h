// Two --port names for one radio: the second open would fail against the first, after the first
// radio had started, so they are refused before any port opens.
#pragma once

#include <string>
#include <vector>

namespace vannor::cli {

// The usage error for the first two ports that open the same device (a COMn name and the
// device it links to, or two spellings of one path); empty when each names a device of its own.
// Names that lead to nothing now are left to the open, which says why.
std::string SameDeviceTwice(const std::vector<std::string>& ports);

}  // namespace vannor::cli
