#include "serial/adapter_latency.h"

namespace vannor {

namespace {

// Up to this the wait for each echo stays near the wire's own time.
constexpr int HIGHEST_HARMLESS_MS = 2;
// A byte and its echo on a 38400-baud 8N1 line, with the radio's turnaround: about 0.6 ms.
constexpr std::uint64_t WIRE_TENTHS_OF_MS_PER_BYTE = 6;

// "0.6 s", "45 s", "5 min 20 s", from milliseconds.
std::string Duration(std::uint64_t ms) {
  if (ms < 10000) {
    return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
  }
  const std::uint64_t seconds = ms / 1000;
  if (seconds < 60) return std::to_string(seconds) + " s";
  return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
}

}  // namespace

std::string SlowAdapterNote(int timerMs, std::uint32_t length) {
  if (timerMs <= HIGHEST_HARMLESS_MS) return std::string();
  const std::uint64_t slow = std::uint64_t{length} * static_cast<std::uint64_t>(timerMs);
  const std::uint64_t wire = std::uint64_t{length} * WIRE_TENTHS_OF_MS_PER_BYTE / 10;
  return "the USB adapter's latency timer is " + std::to_string(timerMs) + " ms, so the " +
         std::to_string(length) + " bytes may take about " + Duration(slow) + " instead of " +
         Duration(wire) + "; " + std::string(LatencyAdvice());
}

}  // namespace vannor
