#include "protocol/latency_check.h"

#include "serial/adapter_latency.h"

namespace vannor {

void LatencyCheck::OnAcknowledged(ProtocolState next) {
  if (next != ProtocolState::Sending) return;
  sendingSince_ = Clock::now();
  firstConfirmed_ = 0;
}

void LatencyCheck::OnProgress(std::uint32_t confirmed, std::uint32_t length) {
  if (told_) return;
  const Clock::time_point now = Clock::now();
  if (firstConfirmed_ == 0) {
    firstConfirmed_ = confirmed;
    firstAt_ = now;
    return;
  }
  if (confirmed <= firstConfirmed_) return;
  const double roundTripMs = std::chrono::duration<double, std::milli>(now - firstAt_).count() /
                             (confirmed - firstConfirmed_);
  if (roundTripMs * 1000 > static_cast<double>(SLOW_ROUND_TRIP.count())) Tell(roundTripMs, length);
  // Measured once, on the first echoes: later figures would only repeat it.
  firstConfirmed_ = length;
}

void LatencyCheck::Tell(double roundTripMs, std::uint32_t length) {
  told_ = true;
  const long seconds = static_cast<long>(roundTripMs * length / 1000 + 0.5);
  (void)std::fprintf(out_,
                     "%s: each byte takes %.1f ms to come back where the line needs 0.5 ms; "
                     "this image will take about %ld min %02ld s; %s\n",
                     prefix_.c_str(), roundTripMs, seconds / 60, seconds % 60,
                     std::string(LatencyAdvice()).c_str());
}

}  // namespace vannor
