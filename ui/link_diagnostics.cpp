#include "ui/link_diagnostics.h"

#include <cstring>

#include "protocol/exchange_trace.h"

namespace vannor {

namespace {

int Length(std::string_view text) {
  return static_cast<int>(text.size());
}

}  // namespace

void ReportOpenFailure(std::FILE* out, std::string_view port, const OpenFailure& failure) {
  const char* reason = failure.reason.empty() ? "cannot be opened" : failure.reason.c_str();
  // Ignored, here and below: there is nobody to tell that standard error is gone.
  if (failure.device.empty()) {
    (void)std::fprintf(out, "vannor: %.*s: %s\n", Length(port), port.data(), reason);
  } else {
    (void)std::fprintf(out, "vannor: %.*s (%s): %s\n", Length(port), port.data(),
                       failure.device.c_str(), reason);
  }
}

void ReportPortFailure(std::FILE* out, std::string_view port, std::string_view device,
                       std::string_view reason) {
  ReportOpenFailure(out, port,
                    OpenFailure{.device = std::string(device), .reason = std::string(reason)});
}

void ReportFailureCause(std::FILE* out, std::string_view port, const ExchangeOutcome& outcome,
                        const Line& line) {
  if (outcome.kind != Outcome::CommunicationError) return;
  if (outcome.failure.cause == FailureCause::PortFailed) {
    ReportPortFailure(out, port, line.Device(), line.FailureReason());
  } else if (outcome.failure.cause == FailureCause::PortChanged) {
    (void)std::fprintf(out, "vannor: %.*s: %s\n", Length(port), port.data(),
                       DescribeFailure(outcome.failure).c_str());
  }
}

void ReportListenerFailure(std::FILE* out, std::string_view port, int error) {
  (void)std::fprintf(out, "vannor: %.*s: cannot watch the port: %s\n", Length(port), port.data(),
                     std::strerror(error));
}

}  // namespace vannor
