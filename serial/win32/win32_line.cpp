#include "serial/win32/win32_line.h"

#include "serial/port_names.h"

namespace vannor {

std::unique_ptr<Line> MakeLine() {
  return std::make_unique<Win32Line>();
}

int Win32Line::OpenDevice(const std::string& device) {
  ClosePort();
  const std::string path = ResolveDevice(device);
  // An index outside the list names no port at all.
  if (path.empty()) {
    lastFailure_ = OpenFailure{.device = {}, .reason = "no such port"};
    return 0;
  }
  return port_.Open(path, lastFailure_) ? 1 : 0;
}

void Win32Line::ClosePort() {
  listener_.Withdraw();
  port_.Close();
}

void Win32Line::StopLink() {
  listener_.Stop();
  ClosePort();
}

}  // namespace vannor
