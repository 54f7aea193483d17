#include "serial/line.h"

namespace vannor {

Line::Line(std::unique_ptr<PortBackend> backend) : backend_(std::move(backend)) {}

Line::~Line() {
  Stop();
}

int Line::OpenDevice(const std::string& device) {
  ClosePort();
  const ResolvedPort port = ResolvePortName(device);
  // An index outside the list names no port at all.
  if (port.path.empty()) {
    lastFailure_ = OpenFailure{.device = {}, .reason = "no such port"};
    return 0;
  }
  if (!port.refusal.empty()) {
    lastFailure_ = OpenFailure{.device = port.path, .reason = port.refusal};
    return 0;
  }
  return Open(port, port.path);
}

int Line::Reopen(const ResolvedPort& port) {
  ClosePort();
  return Open(port, port.Followed());
}

int Line::Open(const ResolvedPort& port, const std::string& device) {
  lastFailureReason_.clear();
  const bool opened = backend_->Open(device, lastFailure_);
  // The messages name the link the user set and the device it leads to, which may be missing.
  lastFailure_.device = port.Shown();
  if (opened) opened_ = port;
  return opened ? 1 : 0;
}

void Line::ClosePort() {
  if (!backend_->IsOpen()) return;
  opened_ = ResolvedPort{};
  // The reason outlives the port: whoever tells the user does so after the close.
  if (backend_->Failed()) lastFailureReason_ = backend_->FailureReason();
  backend_->Close();
}

bool Line::StartWatching(PortEvents& events) {
  watchFailure_.clear();
  watching_ = backend_->StartWatch(events, watchFailure_);
  return watching_;
}

void Line::Stop() {
  backend_->StopWatch();
  watching_ = false;
  ClosePort();
}

bool Line::Write(const std::uint8_t* bytes, std::size_t count) {
  // No port open: nothing went out, which the engine must not take for a sent request.
  return backend_->IsOpen() && backend_->Write(bytes, count);
}

std::string Line::FailureReason() const {
  if (backend_->IsOpen() && backend_->Failed()) return backend_->FailureReason();
  return lastFailureReason_.empty() ? std::string("the port went away") : lastFailureReason_;
}

}  // namespace vannor
