// The floor: one blocking write and one blocking read per byte, nothing else, on the same line.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace vannor::bench {

// How the loop waits for each echo.
enum class BareWait {
  Read,  // a blocking read: the floor of all
  Poll,  // poll, the pending count, then the read: what any event loop with the link's calls
         // does per byte, with nothing else around it
};

// Opens `path` raw, runs the write request's opening (0x57 + mask, ACK, ENQ, ACK), then sends
// each byte and waits for its echo. Returns the time of the byte loop alone, or a negative
// duration when the radio did not answer as expected.
std::chrono::nanoseconds BareLoop(const std::string& path, const std::vector<std::uint8_t>& image,
                                  BareWait wait = BareWait::Read);

}  // namespace vannor::bench
