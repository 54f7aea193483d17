#include "serial/port_switch.h"

#include <mutex>

#include "protocol/link_state.h"
#include "protocol/messages.h"
#include "serial/listener_wake.h"
#include "serial/port_names.h"
#include "serial/serial_port.h"

namespace vannor {

void OnPortSelChange(PortSwitchHost& host, int& portIndex) {
  // Held across the close and the new open, message box included, so that the listener never
  // copies a handle in the middle of a switch.
  std::lock_guard<std::mutex> lock(linkState.portLock);
  // Released before the close: the listener's next wait must start from the new handle, and
  // it cannot take the lock to copy it until this switch is over.
  ReleaseListenerWait();
  ClosePort();
  const int selected = host.PortListSelection();
  if (selected >= 0 && selected < PORT_COUNT) {
    if (OpenPort(selected) == 1) {
      portIndex = selected;
      return;
    }
    host.ShowMessage(MSG_NOT_USE_COM_PORT);
  }
  // Without a valid selection there is nothing to tell the user: the port in use comes back.
  (void)OpenPort(portIndex);  // whatever its result: the list shows the port chosen last
  host.SelectPortListItem(portIndex);
}

}  // namespace vannor
