// A 16550 UART's receive trigger at 1 byte while the tool has its port open. Windows' serial
// driver (serial.sys) has the UART interrupt only when its receive FIFO holds the port's RxFIFO
// setting (Device Manager: the port, Port Settings, Advanced, Receive Buffer) or after four
// characters of silence; with one byte in flight every echo waits out the silence, which doubles
// a write. Asked after the open, because the open itself programs the FIFO.
//
// Nothing is put back at close: IOCTL_SERIAL_SET_FIFO_CONTROL writes the UART's FIFO control
// register and leaves the driver's setting alone, and the driver programs the register from that
// setting again whenever the port opens (it resets the UART at each open and on waking the port
// from its low-power state; Microsoft documents this in its Serial driver sample, the published
// equivalent of serial.sys, and the setting under "Registry Settings for Serial"). The next
// program to open the port gets the port's own trigger. A driver without the request (USB
// adapters, Wine) refuses it and the port runs as before.
#pragma once

#include <windows.h>

#include "serial/win32/comm_calls.h"

namespace vannor {

// On the port just opened, overlapped: the FIFO on, its receive trigger at 1 byte. Refusals are
// ignored.
void LowerReceiveTrigger(CommCalls& calls, HANDLE port);

}  // namespace vannor
