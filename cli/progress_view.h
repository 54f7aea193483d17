// The progress of one or more transfers on standard error: on a terminal one line per port with
// a bar, percent, bytes, rate and time left, redrawn in place; otherwise a plain line per port at
// every tenth. Safe to call from the links' threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace vannor::cli {

class ProgressView {
 public:
  ProgressView(std::FILE* out, bool terminal, std::vector<std::string> ports);

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
  std::mutex mutex_;
  std::vector<Row> rows_;
  bool drawn_ = false;
};

}  // namespace vannor::cli
