#include "ui/port_links_menu.h"

#include "serial/linux/port_links.h"
#include "serial/linux/serial_devices.h"
#include "serial/port_names.h"
#include "ui/gtk/port_links_dlg.h"

namespace vannor {

PortLinksEdit EditPortLinks(wxWindow& owner, const DeviceRoots& roots,
                            const std::function<int(wxDialog&)>& showModal) {
  PortLinksDlg dialog(&owner, roots);
  PortLinksEdit edit;
  if (showModal(dialog) != wxID_OK) return edit;
  const PortLinksDlg::Written written = dialog.Apply();
  edit.accepted = true;
  edit.changed = written.changed;
  edit.failures = written.failures;
  return edit;
}

std::string PortListTip(int index, const DeviceRoots& roots) {
  const PortLinkState state = PortLinkOf(index);
  std::string tip = std::string(PortName(index)) + ": " + WhereItLeads(state);
  if (!state.connected) return tip;
  // Followed from the link itself, so that a relative target reads as the port opens it.
  const std::string link = PortLinkPath(index);
  const std::string identity =
      DescribeDevice(IdentifyDevice(state.linked ? link : state.opens, roots));
  return identity.empty() ? tip : tip + "\n" + identity;
}

}  // namespace vannor
