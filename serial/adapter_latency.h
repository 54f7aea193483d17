// What the user is told before a write when the port's USB adapter holds received bytes long
// enough to slow the write down: every image byte waits for its echo, and the adapter may hold
// that echo for its whole latency timer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vannor {

// The line for a write of `length` bytes through an adapter whose timer is `timerMs` (as
// Line::AdapterLatencyMs tells it); empty when the timer is not known or no slower than 2 ms.
std::string SlowAdapterNote(int timerMs, std::uint32_t length);

// What the user changes on this system to make the adapter pass bytes on at once (each platform
// in its own file).
std::string_view LatencyAdvice();

}  // namespace vannor
