// The exchange trace that VANNOR_DEBUG=1 (and the command line's --verbose) turns on: one line on
// standard error for each request, acknowledgement, tenth of the image, and end.
#pragma once

#include <cstdio>
#include <string>

#include "protocol/exchange_observer.h"

namespace vannor {

class ExchangeTrace final : public ExchangeObserver {
 public:
  // Lines start with "<prefix>: ".
  ExchangeTrace(std::FILE* out, std::string prefix) : out_(out), prefix_(std::move(prefix)) {}

  // Whether VANNOR_DEBUG asks for the trace (set, and none of "", "0", "false", "off", "no" in any
  // case).
  static bool Requested();

  // The port the bytes go to from now on (after a switch).
  void SetPrefix(std::string prefix) { prefix_ = std::move(prefix); }

  // The image an Update is about to send: its file, size and SHA-256.
  void OnImage(const std::string& path, std::uint32_t length, const std::string& sha256);

  void OnRequest(const std::uint8_t* bytes, std::size_t count) override;
  void OnAcknowledged(ProtocolState next) override;
  void OnProgress(std::uint32_t confirmed, std::uint32_t length) override;
  void OnEnded(const ExchangeOutcome& outcome) override;

 private:
  std::FILE* out_;
  std::string prefix_;
  unsigned lastTenth_ = 0;
};

// The line a failure is told in: what was awaited, at which byte of how many, and what came.
std::string DescribeFailure(const ExchangeFailure& failure);

}  // namespace vannor
