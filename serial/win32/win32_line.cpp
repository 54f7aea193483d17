#include "serial/win32/win32_line.h"

#include <cctype>

#include "serial/port_names.h"

namespace vannor {

namespace {

// "COM" and a number: a port name beyond the list ("COM11"), which like the list's own names
// opens in the device namespace.
bool IsComName(const std::string& name) {
  if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return false;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(name[i])) == 0) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<Line> MakeLine() {
  return std::make_unique<Win32Line>();
}

int Win32Line::OpenPort(int index) {
  ClosePort();
  const std::string path = ResolvePortPath(index);
  if (path.empty()) {
    lastFailure_ = OpenFailure{.device = {}, .reason = "no such port"};
    return 0;
  }
  return OpenDevice(path);
}

int Win32Line::OpenDevice(const std::string& device) {
  ClosePort();
  const int index = PortIndexOf(device);
  std::string path = device;
  if (index >= 0) {
    path = ResolvePortPath(index);
  } else if (IsComName(device)) {
    path = "\\\\.\\" + device;
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
