// What the user is told when the port holds the radio's echoes back: every image byte waits for
// its echo, and a USB adapter may hold that echo for its whole latency timer, a UART's receive
// FIFO for four characters of silence. Told before a write when the port's own settings say so
// and the user can change them, else once the first echoes have measured it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "serial/uart_trigger.h"

namespace vannor {

class Line;

// What may hold echoes back on a port, as far as the system tells.
struct EchoHold {
  // The USB adapter's latency timer in ms; -1 where the system does not tell it.
  int adapterTimerMs = -1;
  UartTrigger trigger;
};

// The open port's.
EchoHold EchoHoldOf(const Line& line);

// Before a write of `length` bytes: the line that names what will hold each echo back, how
// long the write may take and what the user changes; empty when nothing is known to.
std::string SlowPortNote(const EchoHold& hold, std::uint32_t length);

// The USB adapter's part of that, for a timer of `timerMs`.
std::string SlowAdapterNote(int timerMs, std::uint32_t length);

// After the first echoes of a write of `length` bytes came back in `roundTripMs` each: the line
// that tells it, by its cause where the port tells one; empty when that is as fast as the port
// allows, or when SlowPortNote has told it before the write.
std::string SlowEchoReport(const EchoHold& hold, double roundTripMs, std::uint32_t length);

// What the user changes on this system to make the adapter pass bytes on at once (each platform
// in its own file).
std::string_view LatencyAdvice();

}  // namespace vannor
