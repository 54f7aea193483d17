// Tells the user, once, when the radio's echoes come back far slower than the wire allows: the
// usual cause is a USB adapter that holds received bytes until its latency timer runs out (16 ms
// by default on the common chips), which makes a long image take many times longer, silently.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "protocol/exchange_observer.h"

namespace vannor {

// A byte and its echo need 0.52 ms on a 38400-baud line; a round trip above this is the adapter's.
inline constexpr std::chrono::microseconds SLOW_ROUND_TRIP{4000};

class LatencyCheck final : public ExchangeObserver {
 public:
  // Lines start with "<prefix>: ".
  LatencyCheck(std::FILE* out, std::string prefix) : out_(out), prefix_(std::move(prefix)) {}

  // Another port, another adapter: told again, under its name.
  void SetPrefix(std::string prefix) {
    prefix_ = std::move(prefix);
    told_ = false;
  }

  void OnRequest(const std::uint8_t*, std::size_t) override {}
  void OnAcknowledged(ProtocolState next) override;
  void OnProgress(std::uint32_t confirmed, std::uint32_t length) override;
  void OnEnded(const ExchangeOutcome&) override {}

 private:
  using Clock = std::chrono::steady_clock;
  void Tell(double roundTripMs, std::uint32_t length);

  std::FILE* out_;
  std::string prefix_;
  bool told_ = false;
  Clock::time_point sendingSince_{};
  // The first echo's count and time, from which the next progress gives the rate.
  std::uint32_t firstConfirmed_ = 0;
  Clock::time_point firstAt_{};
};

}  // namespace vannor
