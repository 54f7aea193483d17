#include "ui/port_list_picks.h"

#include "serial/port_names.h"
#include "ui/dialog_builder.h"

namespace vannor {

PortListPicks::PortListPicks(wxComboBox& list, std::function<int()> openPort)
    : list_(list), openPort_(std::move(openPort)) {
  list_.Bind(wxEVT_COMBOBOX_DROPDOWN, &PortListPicks::OnDropdown, this);
  list_.Bind(wxEVT_COMBOBOX_CLOSEUP, &PortListPicks::OnCloseUp, this);
  list_.Bind(wxEVT_KILL_FOCUS, &PortListPicks::OnKillFocus, this);
}

PortListPicks::~PortListPicks() {
  // The list outlives this part of the window; its last focus change must not reach it.
  list_.Unbind(wxEVT_KILL_FOCUS, &PortListPicks::OnKillFocus, this);
  list_.Unbind(wxEVT_COMBOBOX_CLOSEUP, &PortListPicks::OnCloseUp, this);
  list_.Unbind(wxEVT_COMBOBOX_DROPDOWN, &PortListPicks::OnDropdown, this);
}

int PortListPicks::TakePick() {
  picking_ = false;
  const int selection = list_.GetSelection();
  return selection >= 0 && selection < PORT_COUNT ? selection : -1;
}

void PortListPicks::OnDropdown(wxCommandEvent& event) {
  picking_ = true;
  list_.SetSelection(wxNOT_FOUND);
  event.Skip();
}

void PortListPicks::OnCloseUp(wxCommandEvent& event) {
  // The pick, if any, comes after the popup has closed: look once it has been handled.
  list_.CallAfter([this] {
    picking_ = false;
    if (list_.GetSelection() == wxNOT_FOUND) ShowOpenPort();
  });
  event.Skip();
}

void PortListPicks::OnKillFocus(wxFocusEvent& event) {
  ShowOpenPort();
  event.Skip();
}

void PortListPicks::ShowOpenPort() {
  if (picking_) return;
  const int index = openPort_();
  const wxString openPort = FromUtf8(PortName(index));
  if (list_.GetSelection() != index) list_.SetSelection(index);
  if (list_.GetValue() != openPort) list_.ChangeValue(openPort);
}

}  // namespace vannor
