// Switching to the port the user picked in the port list.
#pragma once

#include "serial/line.h"
#include "serial/port_names.h"

namespace vannor {

// The window's side of a port switch.
class PortSwitchHost {
 public:
  // The list's selected index, or -1 when the list has no valid selection.
  virtual int PortListSelection() = 0;
  virtual void SelectPortListItem(int index) = 0;
  // Tells the user that the port at `index` cannot be used, and why (modal: returns when the
  // user has closed the box). No lock is held meanwhile.
  virtual void ShowPortNotUsable(int index, const OpenFailure& failure) = 0;

 protected:
  ~PortSwitchHost() = default;
};

// The port list's selection changed (or the open port was picked again): closes the open port
// and opens the selected one. When it does not open, reopens the previous port (portIndex),
// selects it again and says so. An exchange in progress keeps its state and its timer.
void OnPortSelChange(PortSwitchHost& host, Line& line, int& portIndex);

}  // namespace vannor
