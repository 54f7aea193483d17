// The window's way to the COM ports: on Linux (ui/gtk) an entry of its menu opens a dialog that
// links each COM name to a serial device found, and the port list's tooltip names the device
// behind the open port. On Windows (ui/msw) COM numbers are the system's own: neither exists.
#pragma once

#include <wx/dialog.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/device_roots.h"

namespace vannor {

// "COM ports settings (&P)...", in the style of the window menu's About entry.
inline constexpr std::string_view PORT_LINKS_ITEM_TEXT = "COM ﾎﾟｰﾄの設定(&P)...";

struct PortLinksEdit {
  bool accepted = false;     // OK, not Cancel
  std::vector<int> changed;  // ports whose link was written or removed
  std::string failures;      // what could not be written, with the system's reason; else empty
};

// Shows the COM ports dialog over `owner` through `showModal` (which runs it modally and returns
// its result) for the devices under `roots`, and on OK writes the links the user changed. Not
// accepted where the platform has no such dialog.
PortLinksEdit EditPortLinks(wxWindow& owner, const DeviceRoots& roots,
                            const std::function<int(wxDialog&)>& showModal);

// What the port at `index` opens and, for a USB adapter, its maker, product and serial number;
// empty where the platform has no such tooltip.
std::string PortListTip(int index, const DeviceRoots& roots);

}  // namespace vannor
