#include "serial/posix/posix_line.h"

#include "serial/port_names.h"

namespace vannor {

std::unique_ptr<Line> MakeLine() {
  return std::make_unique<PosixLine>();
}

int PosixLine::OpenDevice(const std::string& device) {
  ClosePort();
  const std::string path = ResolveDevice(device);
  // An index outside the list names no port at all.
  if (path.empty()) {
    lastFailure_ = OpenFailure{.device = {}, .reason = "no such port"};
    return 0;
  }
  return port_.Open(path, lastFailure_) ? 1 : 0;
}

void PosixLine::ClosePort() {
  listener_.Withdraw(port_.Handle());
  port_.Close();
}

void PosixLine::StopLink() {
  listener_.Stop();
  ClosePort();
}

}  // namespace vannor
