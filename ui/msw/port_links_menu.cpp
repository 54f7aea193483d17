#include "ui/port_links_menu.h"

namespace vannor {

// Windows numbers its COM ports itself (Device Manager tells which adapter has which): no dialog
// and no tooltip.
PortLinksEdit EditPortLinks(wxWindow& /*owner*/, const DeviceRoots& /*roots*/,
                            const std::function<int(wxDialog&)>& /*showModal*/) {
  return PortLinksEdit{};
}

std::string PortListTip(int /*index*/, const DeviceRoots& /*roots*/) {
  return std::string();
}

}  // namespace vannor
