// The per-user links that make "COMn" open a chosen port: where each name leads now, and the one
// way to write or remove a link, for vannor-cli's map and unmap and for the window alike. On
// Linux a link is a symbolic link in $XDG_CONFIG_HOME/vannor/ports (serial/linux/port_links.cpp);
// on Windows a value under HKEY_CURRENT_USER\Software\Vannor\Ports (serial/win32/port_links.cpp).
#pragma once

#include <string>

#include "serial/port_names.h"

namespace vannor {

// Where the COM name at an index leads now.
struct PortLinkState {
  // The user's link stands for the name: a file in the links folder (Linux), a registry value.
  bool linked = false;
  // What the link names, as it reads ("/dev/ttyUSB0", "COM17"); the built-in port without a
  // link; refused: the place at fault.
  std::string opens;
  bool connected = false;  // the device it leads to is there now
  std::string fallback;    // what the name opens without a link: /dev/ttyS<n-1>, COMn
  std::string refusal;     // why the name leads nowhere (its link cannot be read); else empty
};
PortLinkState PortLinkOf(int index);
// The same for `port`, what the name resolved to at some time (the port open now).
PortLinkState PortLinkOf(int index, const ResolvedPort& port);

enum class PortLinkFailure {
  None,
  NoFolder,    // no place for links is known (no home folder), or the index is no COM name
  BadDevice,   // the device's name cannot be made one a link can hold
  NotWritten,  // the folder or the link could not be written or removed
};

struct PortLinkChange {
  PortLinkFailure failure = PortLinkFailure::None;
  std::string where;   // the path the failure is about
  std::string reason;  // the system's words for it
  std::string target;  // after a write: what the link names (an absolute path; "COM17")
};

// Makes the link for the COM name at `index` name `device` (on Linux made absolute: a relative
// path would be read from the link's folder). The link is replaced in one step, so that the name
// never leads nowhere in between; something there that is not a link is left alone and refused.
PortLinkChange WritePortLink(int index, const std::string& device);

// Removes that link, so that the name opens its built-in port again; no link is no failure, and
// something there that is not a link is left alone and refused.
PortLinkChange RemovePortLink(int index);

}  // namespace vannor
