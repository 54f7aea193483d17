// The ten port names of the port list and where each one leads on this machine.
#pragma once

#include <string>
#include <string_view>

namespace vannor {

inline constexpr int PORT_COUNT = 10;

// "COM1" to "COM10" for 0 to 9; empty for any other index, which never reaches the table.
std::string_view PortName(int index);

// The list index of a port name ("COM1" is 0); -1 for anything else.
int PortIndexOf(std::string_view name);

// The device that "COMn" opens on this platform. On Linux: the per-user link
// $XDG_CONFIG_HOME/vannor/ports/COMn (default ~/.config/vannor/ports/COMn) when that entry
// exists, even as a dangling link, so that an unplugged adapter fails to open instead of
// silently opening another port; otherwise /dev/ttyS<n-1>. On Windows: \\.\COMn. Empty for an
// index outside 0 to 9.
std::string ResolvePortPath(int index);

// The device a port name given by the user opens: a name of the list as ResolvePortPath says (on
// Windows any "COM<n>", in the device namespace); anything else is taken as the device itself.
std::string ResolveDevice(std::string_view name);

// Where the per-user link for the port at index lives, whether or not it exists; empty for an
// index outside 0 to 9 and where ports need no mapping (Windows) or no folder is known.
std::string PortLinkPath(int index);

}  // namespace vannor
