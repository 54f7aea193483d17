#include "serial/port_switch.h"

namespace vannor {

void OnPortSelChange(PortSwitchHost& host, Line& line, int& portIndex) {
  const int selected = host.PortListSelection();
  bool opened = false;
  OpenFailure failure;
  {
    // Held across the close and the new open, so that a listener never copies a handle in the
    // middle of a switch; not while the user reads a box, which could hold it for ever.
    std::lock_guard<std::mutex> lock(line.PortLock());
    // Released before the close: the listener's next wait must start from the new handle, and
    // it cannot take the lock to copy it until this switch is over.
    line.ReleaseListenerWait();
    line.ClosePort();
    if (selected >= 0 && selected < PORT_COUNT) opened = line.OpenPort(selected) == 1;
    if (opened) {
      portIndex = selected;
    } else {
      failure = line.LastOpenFailure();
      // Whatever its result: the list shows the port chosen last.
      (void)line.OpenPort(portIndex);
    }
  }
  if (opened) return;
  host.SelectPortListItem(portIndex);
  // Without a valid selection there is nothing to tell the user: the port in use came back.
  if (selected >= 0 && selected < PORT_COUNT) host.ShowPortNotUsable(selected, failure);
}

}  // namespace vannor
