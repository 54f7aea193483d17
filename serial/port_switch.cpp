#include "serial/port_switch.h"

namespace vannor {

void OnPortSelChange(PortSwitchHost& host, Line& line, int& portIndex) {
  // Held across the close and the new open, message box included, so that the listener never
  // copies a handle in the middle of a switch.
  std::lock_guard<std::mutex> lock(line.PortLock());
  // Released before the close: the listener's next wait must start from the new handle, and
  // it cannot take the lock to copy it until this switch is over.
  line.ReleaseListenerWait();
  line.ClosePort();
  const int selected = host.PortListSelection();
  if (selected >= 0 && selected < PORT_COUNT) {
    if (line.OpenPort(selected) == 1) {
      portIndex = selected;
      return;
    }
    host.ShowPortNotUsable();
  }
  // Without a valid selection there is nothing to tell the user: the port in use comes back.
  (void)line.OpenPort(portIndex);  // whatever its result: the list shows the port chosen last
  host.SelectPortListItem(portIndex);
}

}  // namespace vannor
