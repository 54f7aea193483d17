// The per-user links that make "COMn" open a chosen device: where each name leads now, and the one
// way to write or remove a link, for vannor-cli's map and unmap and for the window alike.
#pragma once

#include <string>

namespace vannor {

// Where the COM name at an index leads now.
struct PortLinkState {
  bool linked = false;  // something stands at the name's link (PortLinkPath)
  // What the link names, as it reads; the built-in port without a link; refused: the folder.
  std::string opens;
  bool connected = false;  // the device it leads to is there now
  std::string fallback;    // what the name opens without a link: /dev/ttyS<n-1>
  std::string refusal;     // why the name leads nowhere (its folder cannot be read); else empty
};
PortLinkState PortLinkOf(int index);

enum class PortLinkFailure {
  None,
  NoFolder,    // the user has no home folder, or the index is no COM name
  BadDevice,   // the device's path cannot be made absolute
  NotWritten,  // the folder or the link could not be written or removed
};

struct PortLinkChange {
  PortLinkFailure failure = PortLinkFailure::None;
  std::string where;   // the path the failure is about
  std::string reason;  // the system's words for it
  std::string target;  // after a write: the absolute path the link names
};

// Makes the link for the COM name at `index` name `device` (made absolute: a relative path would
// be read from the link's folder). The link is replaced in one step, so that the name never
// leads nowhere in between; something there that is not a link is left alone and refused.
PortLinkChange WritePortLink(int index, const std::string& device);

// Removes that link, so that the name opens /dev/ttyS<n-1> again; no link is no failure, and
// something there that is not a link is left alone and refused.
PortLinkChange RemovePortLink(int index);

}  // namespace vannor
