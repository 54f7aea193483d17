#include "serial/win32/win32_backend.h"

#include <memory>

namespace vannor {

std::unique_ptr<PortBackend> MakePortBackend() {
  return std::make_unique<Win32Backend>();
}

void Win32Backend::Close() {
  // The listener's wait on the port ends before the handle closes.
  listener_.Withdraw();
  port_.Close();
}

std::string Win32Backend::FailureReason() const {
  return Failed() ? "the port went away; was the adapter unplugged?" : std::string();
}

}  // namespace vannor
