// The adapter behind a port, as the COM ports dialog names it (maker, product, serial number),
// for the history's record of each request. Each platform finds it its own way.
#pragma once

#include <string>

namespace vannor {

// The adapter behind the port named `port` ("COM3", a device path). Empty when nothing is
// known: a pseudo-terminal, a missing device, or (on Windows, for now) any port.
std::string AdapterIdentity(const std::string& port);

}  // namespace vannor
