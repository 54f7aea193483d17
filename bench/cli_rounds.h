// vannor-cli's part of the benchmark: its links in its one event loop, as the program runs them.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "tools/radio_sim.h"

namespace vannor::bench {

// Writes the image into `radios` at once through the command line's links, all in its one
// event loop on this thread, as vannor-cli does with several ports (COM<firstCom> onwards). The
// time from opening the first port to closing the last; negative when any failed.
std::chrono::nanoseconds CliRound(const std::vector<std::uint8_t>& image,
                                  const std::vector<sim::RadioSimulator*>& radios, int firstCom);

// The CPU vannor-cli's loop uses over `span` with COM<com> open and nothing to send; negative
// when it could not be measured.
std::chrono::nanoseconds CliIdle(int com, std::chrono::milliseconds span);

}  // namespace vannor::bench
