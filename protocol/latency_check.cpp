#include "protocol/latency_check.h"

#include "serial/adapter_latency.h"

namespace vannor {

namespace {

// The echoes one figure is taken over: one round trip alone is as slow as the slowest wake-up
// of a busy machine, which would tell a fast line slow.
constexpr std::uint32_t MEASURED_ECHOES = 16;

}  // namespace

void LatencyCheck::OnAcknowledged(ProtocolState next) {
  if (next != ProtocolState::Sending) return;
  sendingSince_ = Clock::now();
  firstConfirmed_ = 0;
  measured_ = false;
}

void LatencyCheck::OnProgress(std::uint32_t confirmed, std::uint32_t length) {
  if (told_ || measured_) return;
  const Clock::time_point now = Clock::now();
  if (firstConfirmed_ == 0) {
    firstConfirmed_ = confirmed;
    firstAt_ = now;
    return;
  }
  // A short image is measured over all its echoes.
  if (confirmed <= firstConfirmed_) return;
  if (confirmed - firstConfirmed_ < MEASURED_ECHOES && confirmed < length) return;
  // Measured once, on the first echoes: later figures would only repeat it.
  measured_ = true;
  const double roundTripMs = std::chrono::duration<double, std::milli>(now - firstAt_).count() /
                             (confirmed - firstConfirmed_);
  const std::string report = SlowEchoReport(EchoHoldOf(line_), roundTripMs, length);
  if (!report.empty()) {
    told_ = true;
    (void)std::fprintf(out_, "%s: %s\n", prefix_.c_str(), report.c_str());
  }
}

}  // namespace vannor
