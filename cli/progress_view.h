// The progress of one or more transfers on standard error: on a terminal one line per port with
// a bar, percent, bytes, rate and time left, redrawn in place; otherwise a plain line per port at
// every tenth.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/exchange_observer.h"

namespace vannor::cli {

class ProgressView {
 public:
  // `sha256` names the image on the line that starts each transfer (above the bars on a
  // terminal).
  ProgressView(std::FILE* out, bool terminal, std::vector<std::string> ports, std::string sha256);

  // The image started to flow on link `index` (the radio acknowledged twice).
  void Started(std::size_t index, std::uint32_t length);
  void Progress(std::size_t index, std::uint32_t confirmed, std::uint32_t length);
  // The link is over: its line says so; the outcome itself goes to standard output.
  void Finished(std::size_t index, bool succeeded);

  // The text of one progress line, for the terminal and the tests.
  static std::string Line(const std::string& port, std::uint32_t confirmed, std::uint32_t length,
                          std::chrono::steady_clock::duration elapsed);

 private:
  struct Row {
    std::string port;
    std::string text;
    std::chrono::steady_clock::time_point started{};
    unsigned lastTenth = 0;
  };
  void Redraw();

  std::FILE* out_;
  const bool terminal_;
  std::vector<Row> rows_;
  const std::string sha256_;
  bool drawn_ = false;
};

}  // namespace vannor::cli

namespace vannor::cli {

// One link's row of the view, following that link's exchange.
class ProgressRow final : public ExchangeObserver {
 public:
  ProgressRow(ProgressView& view, std::size_t index, std::uint32_t length)
      : view_(view), index_(index), length_(length) {}

  void OnRequest(const std::uint8_t*, std::size_t) override {}
  void OnAcknowledged(ProtocolState next) override {
    if (next == ProtocolState::Sending) view_.Started(index_, length_);
  }
  void OnProgress(std::uint32_t confirmed, std::uint32_t length) override {
    view_.Progress(index_, confirmed, length);
  }
  void OnEnded(const ExchangeOutcome& outcome) override {
    view_.Finished(index_, outcome.kind == Outcome::Completed);
  }

 private:
  ProgressView& view_;
  const std::size_t index_;
  const std::uint32_t length_;
};

}  // namespace vannor::cli
