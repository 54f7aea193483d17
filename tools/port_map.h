// The link that makes the tool's "COMn" reach a given device: <configHome>/vannor/ports/COMn.
#pragma once

#include <string>

namespace vannor::sim {

struct PortMapping {
  std::string linkPath;        // empty while nothing is mapped
  std::string target;          // what the link names
  std::string previousTarget;  // the link that was there before, to be put back
  bool hadPrevious = false;
};

// Creates the folders as needed and points the link at `target`, replacing an older link in one
// step. Refuses (false) when something other than a link stands at that path, or when comNumber
// is not 1 to 10.
bool MapPortLink(const std::string& configHome, int comNumber, const std::string& target,
                 PortMapping& mapping);
// Removes the link if it still names mapping.target, putting back the one it replaced.
void UnmapPortLink(PortMapping& mapping);

// $XDG_CONFIG_HOME, else $HOME/.config: where the tool looks for its ports folder.
std::string DefaultConfigHome();

}  // namespace vannor::sim
