#include "serial/adapter_latency.h"

#include <cstdio>

#include "serial/line.h"

namespace vannor {

namespace {

// Up to this the wait for each echo stays near the wire's own time.
constexpr int HIGHEST_HARMLESS_MS = 2;
// A byte and its echo on a 38400-baud 8N1 line, with the radio's turnaround: about 0.6 ms.
constexpr std::uint64_t WIRE_US_PER_BYTE = 600;
// What a UART's FIFO adds to each echo below its trigger: four characters of ten bits.
constexpr std::uint64_t FIFO_SILENCE_US = 4 * 10 * 1'000'000 / 38400;
// A measured round trip above this is told: the line needs 0.52 ms, and only an adapter's timer
// or a slow radio adds whole milliseconds. Where the UART's FIFO is known to hold echoes, the
// lower bound tells its millisecond too.
constexpr double SLOW_ROUND_TRIP_MS = 4.0;
constexpr double FIFO_HELD_ROUND_TRIP_MS = 1.0;

// "0.6 s", "45 s", "5 min 20 s", from microseconds.
std::string Duration(std::uint64_t us) {
  const std::uint64_t ms = us / 1000;
  if (ms < 10000) {
    return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
  }
  const std::uint64_t seconds = ms / 1000;
  if (seconds < 60) return std::to_string(seconds) + " s";
  return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
}

std::string SlowTriggerNote(const UartTrigger& trigger, std::uint32_t length) {
  if (trigger.bytes <= 1 || trigger.remedy.empty()) return std::string();
  const std::uint64_t slow = std::uint64_t{length} * (WIRE_US_PER_BYTE + FIFO_SILENCE_US);
  const std::uint64_t wire = std::uint64_t{length} * WIRE_US_PER_BYTE;
  return "the UART's receive trigger is " + std::to_string(trigger.bytes) +
         " bytes and this user may not lower it, so each echo waits for four characters of "
         "silence and the " +
         std::to_string(length) + " bytes may take about " + Duration(slow) + " instead of " +
         Duration(wire) + "; " + trigger.remedy;
}

}  // namespace

EchoHold EchoHoldOf(const Line& line) {
  return EchoHold{.adapterTimerMs = line.AdapterLatencyMs(), .trigger = line.ReceiveTrigger()};
}

std::string SlowAdapterNote(int timerMs, std::uint32_t length) {
  if (timerMs <= HIGHEST_HARMLESS_MS) return std::string();
  const std::uint64_t slow = std::uint64_t{length} * static_cast<std::uint64_t>(timerMs) * 1000;
  const std::uint64_t wire = std::uint64_t{length} * WIRE_US_PER_BYTE;
  return "the USB adapter's latency timer is " + std::to_string(timerMs) + " ms, so the " +
         std::to_string(length) + " bytes may take about " + Duration(slow) + " instead of " +
         Duration(wire) + "; " + std::string(LatencyAdvice());
}

std::string SlowPortNote(const EchoHold& hold, std::uint32_t length) {
  const std::string adapter = SlowAdapterNote(hold.adapterTimerMs, length);
  return adapter.empty() ? SlowTriggerNote(hold.trigger, length) : adapter;
}

std::string SlowEchoReport(const EchoHold& hold, double roundTripMs, std::uint32_t length) {
  if (!SlowPortNote(hold, length).empty()) return std::string();
  const bool fifoHolds = hold.trigger.bytes > 1;
  if (roundTripMs <= (fifoHolds ? FIFO_HELD_ROUND_TRIP_MS : SLOW_ROUND_TRIP_MS)) {
    return std::string();
  }
  char measured[96];
  (void)std::snprintf(measured, sizeof measured,  // always fits: one number
                      "each byte takes %.1f ms to come back where the line needs 0.5 ms",
                      roundTripMs);
  std::string report = measured;
  // Only a cause the port tells is named, and no remedy: one the user has was told before.
  if (fifoHolds) {
    report +=
        ": the UART's receive FIFO holds each echo until the line has been quiet for four "
        "characters (its trigger is " +
        std::to_string(hold.trigger.bytes) + " bytes)";
  }
  const double us = roundTripMs * 1000 * length;
  return report + "; this image will take about " + Duration(static_cast<std::uint64_t>(us));
}

}  // namespace vannor
