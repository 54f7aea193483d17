// Tells the user, once, when the radio's echoes come back far slower than the wire allows: the
// usual causes are a USB adapter that holds received bytes until its latency timer runs out (16
// ms by default on the common chips) and a UART's receive FIFO that holds them for four
// characters of silence; either makes a long image take many times longer, silently. Measured on
// the first echoes of each write, and told by the cause the line's port names (SlowEchoReport).
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "protocol/exchange_observer.h"

namespace vannor {

class Line;

class LatencyCheck final : public ExchangeObserver {
 public:
  // Lines start with "<prefix>: ". The line's port tells what may hold its echoes back.
  LatencyCheck(std::FILE* out, std::string prefix, const Line& line)
      : out_(out), prefix_(std::move(prefix)), line_(line) {}

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
  std::FILE* out_;
  std::string prefix_;
  const Line& line_;
  bool told_ = false;
  Clock::time_point sendingSince_{};
  // The first echo's count and time, from which a later progress gives the rate.
  std::uint32_t firstConfirmed_ = 0;
  // This write's figure is taken.
  bool measured_ = false;
  Clock::time_point firstAt_{};
};

}  // namespace vannor
