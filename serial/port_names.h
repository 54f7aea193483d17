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

// Where a port name leads on this machine.
struct ResolvedPort {
  // What to open: for a name of the list the per-user link when there is one, else the
  // built-in port; any other name as the device itself. Empty for an index outside 0 to 9.
  // When refused, the place at fault instead.
  std::string path;
  // Where the link at path points, as it reads; empty when path is no link.
  std::string linkTarget;
  // Why the name leads to no device at all, in the system's words; empty when path opens.
  std::string refusal;

  // path, and where it points when it is a link, for messages: "<link> -> /dev/ttyUSB0".
  std::string Shown() const { return linkTarget.empty() ? path : path + " -> " + linkTarget; }
  // What the link led to when it was read, as a path of its own (a relative target is read
  // from the link's folder); path itself when it is no link. Opening this reaches that device
  // even after the link has been changed.
  std::string Followed() const;
};

// The device that "COMn" opens on this platform. On Linux: the per-user link
// $XDG_CONFIG_HOME/vannor/ports/COMn (default ~/.config/vannor/ports/COMn) when that entry
// exists, even as a dangling link, so that an unplugged adapter fails to open instead of
// silently opening another port; /dev/ttyS<n-1> only when the folder or the link does not
// exist. A folder that cannot be searched (no permission, not a folder, a loop) may hold the
// link: the port is then refused, never taken for another; so is every name of a user without a
// home folder (none in HOME nor in the password database). On Windows: the port that the user's
// value COMn under HKEY_CURRENT_USER\Software\Vannor\Ports names ("COM17"), else \\.\COMn; a
// value that cannot be read or names no COM port refuses the name.
ResolvedPort ResolvePort(int index);

// What the port at index opens when no link says otherwise: /dev/ttyS<n-1> on Linux, \\.\COMn on
// Windows; empty for an index outside 0 to 9.
std::string BuiltInPortPath(int index);

// The device a port name given by the user opens: a name of the list as ResolvePort says (on
// Windows any "COM<n>", in the device namespace); anything else is taken as the device itself.
// On Linux a name written as a port in another case ("com1") is that port, and one outside the
// list ("COM11") is refused as no such port, unless a file of that name is there.
ResolvedPort ResolvePortName(std::string_view name);

// A key that two paths share exactly when they open the same device, links followed (on
// Linux the device number; a file's device and inode); empty when the path leads to nothing
// that is there now.
std::string DeviceKey(const std::string& path);

}  // namespace vannor
