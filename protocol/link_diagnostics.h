// The lines a technician or a support line reads on standard error when the link fails: which
// port, the device it leads to and the system's reason, under the program's name. The user's
// boxes keep their own words.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "protocol/exchange_outcome.h"
#include "serial/line.h"

namespace vannor {

class LinkDiagnostics {
 public:
  // Lines start with "<program>: "; the port's device and reasons come from `line`.
  LinkDiagnostics(std::FILE* out, const std::string& program, const Line& line)
      : out_(out), program_(program), line_(line) {}

  // "vannor: COM1 (/dev/ttyUSB0): Permission denied — add yourself to the dialout group"
  void OpenFailed(std::string_view port, const OpenFailure& failure) const;
  // For a communication error that the port's failure or a port change caused, that cause:
  // "vannor: COM1 (/dev/ttyUSB0): the port went away; was the adapter unplugged?",
  // "vannor: COM1: port changed while awaiting the echo of an image byte (byte 5 of 100, 0x3C)".
  // Nothing for other outcomes.
  void FailureCause(std::string_view port, const ExchangeOutcome& outcome) const;
  // "vannor: COM1: cannot watch the port: Too many open files", with the line's reason.
  void WatchFailed(std::string_view port) const;

 private:
  void Tell(std::string_view port, std::string_view device, std::string_view reason) const;

  std::FILE* out_;
  const std::string& program_;
  const Line& line_;
};

}  // namespace vannor
