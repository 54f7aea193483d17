// The port list's picks. The toolkits tell no selection change when the row already selected is
// picked again, yet picking the open port must reopen it (a USB adapter plugged back in). While
// the list's popup is open the list has no selection, so every pick is a change; a popup closed
// without a pick gets the open port back. Text typed into the list's field opens nothing: once
// the user leaves the field, and before anything goes to the radio, it names the open port again.
#pragma once

#include <wx/combobox.h>

#include <functional>

namespace vannor {

class PortListPicks {
 public:
  // `openPort` tells the list index of the port in use.
  PortListPicks(wxComboBox& list, std::function<int()> openPort);
  ~PortListPicks();
  PortListPicks(const PortListPicks&) = delete;
  PortListPicks& operator=(const PortListPicks&) = delete;

  // A pick has come (the list's selection event): the index picked, or -1 for none valid.
  int TakePick();
  // The field and the selection name the port in use again, unless the popup is open.
  void ShowOpenPort();

 private:
  void OnDropdown(wxCommandEvent& event);
  void OnCloseUp(wxCommandEvent& event);
  void OnKillFocus(wxFocusEvent& event);

  wxComboBox& list_;
  std::function<int()> openPort_;
  // The popup is open: every row, the open port's included, is a choice.
  bool picking_ = false;
};

}  // namespace vannor
