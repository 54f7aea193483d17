#include "protocol/link_diagnostics.h"

namespace vannor {

namespace {

int Length(std::string_view text) {
  return static_cast<int>(text.size());
}

}  // namespace

void LinkDiagnostics::Tell(std::string_view port, std::string_view device,
                           std::string_view reason) const {
  // Ignored, here and below: there is nobody to tell that standard error is gone.
  if (device.empty()) {
    (void)std::fprintf(out_, "%s: %.*s: %.*s\n", program_.c_str(), Length(port), port.data(),
                       Length(reason), reason.data());
  } else {
    (void)std::fprintf(out_, "%s: %.*s (%.*s): %.*s\n", program_.c_str(), Length(port), port.data(),
                       Length(device), device.data(), Length(reason), reason.data());
  }
}

void LinkDiagnostics::OpenFailed(std::string_view port, const OpenFailure& failure) const {
  Tell(port, failure.device, failure.reason.empty() ? "cannot be opened" : failure.reason);
}

void LinkDiagnostics::FailureCause(std::string_view port, const ExchangeOutcome& outcome) const {
  if (outcome.kind != Outcome::CommunicationError) return;
  const bool portFailed = outcome.failure.cause == FailureCause::PortFailed;
  if (!portFailed && outcome.failure.cause != FailureCause::PortChanged) return;
  Tell(port, portFailed ? std::string_view(line_.Device()) : std::string_view(),
       WordsFor(outcome, line_).cause);
}

void LinkDiagnostics::WatchFailed(std::string_view port) const {
  Tell(port, {}, "cannot watch the port: " + line_.WatchFailure());
}

}  // namespace vannor
