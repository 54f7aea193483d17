// The window's way to the COM ports: an entry of its window menu opens a dialog that links each
// COM name to a serial port present (ui/port_links_dlg.h), and the port list's tooltip names the
// device behind the open port. Both run over the platform's links (serial/port_links.h) and its
// ports present (serial/present_ports.h), the same on Linux and Windows.
#pragma once

#include <wx/dialog.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/device_roots.h"
#include "ui/port_links_dlg.h"

namespace vannor {

// "COM ports settings (&P)...", in the style of the window menu's About entry.
inline constexpr std::string_view PORT_LINKS_ITEM_TEXT = "COM ﾎﾟｰﾄの設定(&P)...";

struct PortLinksEdit {
  bool accepted = false;     // OK, not Cancel
  std::vector<int> changed;  // ports whose link was written or removed
  std::string failures;      // what could not be written, with the system's reason; else empty
  // The open port's name leads elsewhere than the device open now: it must be picked again.
  bool reopen = false;
};

// Shows the COM ports dialog over `owner` through `showModal` (which runs it modally and returns
// its result) for the ports present under `roots`, and on OK writes the links the user changed.
PortLinksEdit EditPortLinks(wxWindow& owner, const DeviceRoots& roots, const OpenPortNow& open,
                            const std::function<int(wxDialog&)>& showModal);

// What the port at `index` opens and what the system tells of that device; for the open port,
// the device open now, and where the name leads from the next pick on when a link changed since.
std::string PortListTip(int index, const DeviceRoots& roots, const OpenPortNow& open);

}  // namespace vannor
