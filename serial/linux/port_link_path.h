// Where a COM name's per-user link lives on Linux: a symbolic link in $XDG_CONFIG_HOME/vannor/ports
// (default ~/.config/vannor/ports). Windows keeps its links as registry values (port_store.h).
#pragma once

#include <string>

namespace vannor {

// The link for the port at index, whether or not it exists; empty for an index outside 0 to 9
// and where no folder is known.
std::string PortLinkPath(int index);

}  // namespace vannor
