// The window thread's hold on the listener's wait: the port switch and the stop sequence
// release it where a port's event mask was cleared, and closing a port takes the port out of it.
#pragma once

#include "protocol/link_state.h"

namespace vannor {

// Makes the listener's current or next wait return at once, so that it takes portHandle and
// stopListener afresh. Does nothing while no listener runs.
void ReleaseListenerWait();

// Takes port out of the listener's wait set before it is closed. Call under portLock (or with
// no listener running). The kernel may be polling the port for the listener at the very moment
// of the close and then hold the last reference to it, and with it the port's lock, for a while
// after close returns; a reopen right after would find the port taken. Once the port is out of
// the set, the close is the last reference and releases the lock before it returns.
void WithdrawPortFromListener(PortHandle port);

}  // namespace vannor
