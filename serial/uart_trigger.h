// The receive FIFO trigger of the UART behind an open port. A 16550-family UART interrupts when
// that many bytes have arrived, or when the line has been quiet for four characters; with one
// byte in flight the trigger is never reached, so above 1 byte every echo waits out those four
// characters (about 1 ms at 38400 baud), which doubles the time of a write.
#pragma once

#include <string>

namespace vannor {

struct UartTrigger {
  // The trigger in bytes that the UART runs with while the port is open (1 once this program
  // lowered it); 0 where the system tells none (no UART, or a driver without the setting).
  int bytes = 0;
  // Set when this program was not allowed to lower it: what the user can do about that.
  std::string remedy;
};

}  // namespace vannor
