#include "ui/port_links_menu.h"

#include <algorithm>

#include "serial/port_links.h"
#include "serial/present_ports.h"
#include "ui/port_links_dlg.h"

namespace vannor {

namespace {

// Whether the name, as it resolves now, still opens what it opened before.
bool LeadsTo(const ResolvedPort& now, const ResolvedPort& before) {
  return now.path == before.path && now.linkTarget == before.linkTarget &&
         now.refusal == before.refusal;
}

// Where `port` leads and, below, what the system tells of the device there.
std::string Described(int index, const ResolvedPort& port, const DeviceRoots& roots) {
  const PortLinkState state = PortLinkOf(index, port);
  const std::string where = WhereItLeads(state);
  // Followed from the link itself, so that a relative target reads as the port opens it.
  const std::string identity = state.connected ? DescribePort(port.Followed(), roots) : "";
  return identity.empty() ? where : where + "\n" + identity;
}

}  // namespace

PortLinksEdit EditPortLinks(wxWindow& owner, const DeviceRoots& roots, const OpenPortNow& open,
                            const std::function<int(wxDialog&)>& showModal) {
  PortLinksDlg dialog(&owner, roots, open);
  PortLinksEdit edit;
  if (showModal(dialog) != wxID_OK) return edit;
  const PortLinksDlg::Written written = dialog.Apply();
  edit.accepted = true;
  edit.changed = written.changed;
  edit.failures = written.failures;
  if (open.index < 0) return edit;
  // With no port open the open port's row is what the user asked for, as in the list.
  edit.reopen = open.port.path.empty() ? std::find(edit.changed.begin(), edit.changed.end(),
                                                   open.index) != edit.changed.end()
                                       : !LeadsTo(ResolvePort(open.index), open.port);
  return edit;
}

std::string PortListTip(int index, const DeviceRoots& roots, const OpenPortNow& open) {
  const std::string name(PortName(index));
  if (name.empty()) return name;
  const ResolvedPort now = ResolvePort(index);
  if (index != open.index || open.port.path.empty()) {
    return name + ": " + Described(index, now, roots);
  }
  std::string tip = name + ": " + Described(index, open.port, roots);
  // Changed behind the window's back (vannor-cli map): the open device stays until a pick.
  if (!LeadsTo(now, open.port)) {
    tip += "\nFrom the next pick of " + name + ": " + WhereItLeads(PortLinkOf(index, now));
  }
  return tip;
}

}  // namespace vannor
