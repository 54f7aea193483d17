#include "ui/port_links_entry.h"

#include <utility>

#include "res/resource.h"
#include "ui/dialog_builder.h"
#include "ui/port_links_menu.h"

namespace vannor {

PortLinksEntry::PortLinksEntry(wxWindow& owner, wxComboBox& list, const Link& link, Window window)
    : owner_(owner), list_(list), link_(link), window_(std::move(window)) {
  owner_.Bind(wxEVT_MENU, &PortLinksEntry::OnEntry, this, res::MENU_PORT_LINKS);
  owner_.Bind(wxEVT_ACTIVATE, &PortLinksEntry::OnActivate, this);
  list_.Bind(wxEVT_ENTER_WINDOW, &PortLinksEntry::OnEnterList, this);
}

PortLinksEntry::~PortLinksEntry() {
  list_.Unbind(wxEVT_ENTER_WINDOW, &PortLinksEntry::OnEnterList, this);
  owner_.Unbind(wxEVT_ACTIVATE, &PortLinksEntry::OnActivate, this);
  owner_.Unbind(wxEVT_MENU, &PortLinksEntry::OnEntry, this, res::MENU_PORT_LINKS);
}

OpenPortNow PortLinksEntry::OpenNow() const {
  return OpenPortNow{.index = link_.PortIndex(), .port = link_.SerialLine().OpenedPort()};
}

void PortLinksEntry::OnActivate(wxActivateEvent& event) {
  if (event.GetActive()) ShowTip();
  event.Skip();
}

void PortLinksEntry::OnEnterList(wxMouseEvent& event) {
  ShowTip();
  event.Skip();
}

void PortLinksEntry::OnEntry(wxCommandEvent& /*event*/) {
  if (link_.Busy()) return;
  const OpenPortNow open = OpenNow();
  const PortLinksEdit edit = EditPortLinks(owner_, roots_, open, window_.showModal);
  if (!edit.accepted) return;
  if (!edit.failures.empty()) window_.showMessage(edit.failures);
  // The boxes above run no exchange, but the check costs nothing.
  if (edit.reopen && !link_.Busy()) window_.pickPort(open.index);
  ShowTip();
}

void PortLinksEntry::ShowTip() {
  const std::string tip = PortListTip(link_.PortIndex(), roots_, OpenNow());
  if (!tip.empty() && list_.GetToolTipText().utf8_string() != tip) {
    list_.SetToolTip(FromUtf8(tip));
  }
}

}  // namespace vannor
