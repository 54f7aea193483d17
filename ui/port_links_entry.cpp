#include "ui/port_links_entry.h"

#include <algorithm>
#include <utility>

#include "res/resource.h"
#include "ui/dialog_builder.h"
#include "ui/port_links_menu.h"

namespace vannor {

PortLinksEntry::PortLinksEntry(wxWindow& owner, wxComboBox& list, const Link& link, Window window)
    : owner_(owner), list_(list), link_(link), window_(std::move(window)) {
  owner_.Bind(wxEVT_MENU, &PortLinksEntry::OnEntry, this, res::MENU_PORT_LINKS);
}

PortLinksEntry::~PortLinksEntry() {
  owner_.Unbind(wxEVT_MENU, &PortLinksEntry::OnEntry, this, res::MENU_PORT_LINKS);
}

void PortLinksEntry::OnEntry(wxCommandEvent& /*event*/) {
  if (link_.Busy()) return;
  const PortLinksEdit edit = EditPortLinks(owner_, roots_, window_.showModal);
  if (!edit.accepted) return;
  if (!edit.failures.empty()) window_.showMessage(edit.failures);
  const int open = link_.PortIndex();
  const bool reopen =
      std::find(edit.changed.begin(), edit.changed.end(), open) != edit.changed.end();
  // The boxes above run no exchange, but the check costs nothing.
  if (reopen && !link_.Busy()) window_.pickPort(open);
  ShowTip();
}

void PortLinksEntry::ShowTip() {
  const std::string tip = PortListTip(link_.PortIndex(), roots_);
  if (!tip.empty()) list_.SetToolTip(FromUtf8(tip));
}

}  // namespace vannor
