#include "serial/posix/posix_line.h"

#include "serial/port_names.h"

namespace vannor {

std::unique_ptr<Line> MakeLine() {
  return std::make_unique<PosixLine>();
}

int PosixLine::OpenPort(int index) {
  ClosePort();
  const std::string path = ResolvePortPath(index);
  if (path.empty()) {
    lastFailure_ = OpenFailure{.device = {}, .reason = "no such port"};
    return 0;
  }
  return OpenDevice(path);
}

int PosixLine::OpenDevice(const std::string& device) {
  ClosePort();
  const int index = PortIndexOf(device);
  const std::string path = index >= 0 ? ResolvePortPath(index) : device;
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
