#include "serial/win32/win32_backend.h"

#include <memory>

namespace vannor {

std::unique_ptr<PortBackend> MakePortBackend() {
  return std::make_unique<Win32Backend>();
}

bool Win32Backend::Open(const std::string& device, OpenFailure& failure) {
  bool opened = false;
  {
    std::lock_guard<std::mutex> lock(portLock_);
    opened = port_.Open(device, failure);
  }
  // A listener that found no port sleeps until released: the new one is its to wait on.
  if (opened) listener_.ReleaseWait();
  return opened;
}

void Win32Backend::Close() {
  if (!IsOpen()) return;
  std::lock_guard<std::mutex> lock(portLock_);
  // Released before the close, so that the listener's next wait starts from whatever handle
  // comes next; it cannot take the lock to copy one until the close is over.
  listener_.ReleaseWait();
  // The listener's wait on the port ends before the handle closes.
  listener_.Withdraw();
  port_.Close();
}

std::string Win32Backend::FailureReason() const {
  if (!Failed()) return std::string();
  std::string reason = "the port went away; was the adapter unplugged?";
  // The system's own words and code, where the failed call gave them.
  if (port_.FailureError() != 0) reason += " (" + SystemReason(port_.FailureError()) + ")";
  return reason;
}

}  // namespace vannor
