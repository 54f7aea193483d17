// The comparison row: pyserial_loop.py, a blocking pyserial loop doing the same job on the same
// line, run as a child process under Debian's Python.
#pragma once

#include <chrono>
#include <string>

namespace vannor::bench {

struct ChildLoop {
  enum class Status {
    Done,     // `took` holds the script's own time, opening the port to closing it
    Missing,  // python3 or python3-serial is not installed: the row is skipped
    Failed,   // it ran, but the radio did not answer as expected
  };
  Status status = Status::Failed;
  std::chrono::nanoseconds took{-1};
  std::chrono::nanoseconds cpu{-1};  // the CPU the script used over the same span
};

// Writes the image in `imagePath` to the radio on `device`.
ChildLoop PyserialLoop(const std::string& device, const std::string& imagePath);

// Why the row is skipped when the loop reports Missing.
inline constexpr const char* PYSERIAL_MISSING =
    "python3-serial is not installed for /usr/bin/python3 (scripts/install-deps.sh installs it)";

}  // namespace vannor::bench
