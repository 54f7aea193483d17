// A 16550-family UART's receive FIFO trigger, lowered to 1 byte while its port is open and put
// back when it closes. The 8250 driver keeps the trigger across opens in its rx_trig_bytes
// attribute (sysfs), which belongs to root: a user may set it only where a udev rule lets group
// dialout (the vannor package installs one). Nothing happens on ports without the attribute:
// USB adapters, pseudo-terminals, UARTs without a settable trigger.
#pragma once

#include <string>

#include "serial/uart_trigger.h"

namespace vannor {

class RxTrigger {
 public:
  RxTrigger() = default;
  RxTrigger(const RxTrigger&) = delete;
  RxTrigger& operator=(const RxTrigger&) = delete;
  ~RxTrigger() { Restore(); }

  // After the port has opened: lowers the trigger in `attribute` (the port's rx_trig_bytes) to
  // 1 byte when it is above, and remembers what it was.
  void Lower(const std::string& attribute);
  // Puts the old trigger back, if Lower changed it; also when the port has failed, since the
  // setting outlives the descriptor.
  void Restore();
  // What the UART runs with now, and the remedy when this user was not allowed to lower it.
  UartTrigger InEffect() const;

 private:
  std::string attribute_;
  // The trigger found at Lower, which Restore writes back; 0 when there is none to restore.
  int saved_ = 0;
  // What the attribute said after Lower; 0 when it has none.
  int inEffect_ = 0;
  // Lower was not allowed to write the attribute.
  bool refused_ = false;
};

}  // namespace vannor
