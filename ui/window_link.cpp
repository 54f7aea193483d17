#include "ui/window_link.h"

#include <algorithm>

namespace vannor {

WindowLink::WindowLink(wxWindow& window, OutcomeHandler onOutcome,
                       std::unique_ptr<PortBackend> backend)
    : onOutcome_(std::move(onOutcome)),
      responseTimer_(window, [this] { OnTimer(LinkClock::now()); }),
      portWatch_(
          window, [this](bool) { link_.OnPortReady(); }, [this] { return link_.Waitable(); }),
      link_(*this, "vannor", ExchangeTrace::Requested(), std::move(backend)) {}

WindowLink::~WindowLink() {
  // The listener ends before the window it posts to, and nothing waits on the port any more.
  Stop();
}

void WindowLink::Stop() {
  responseTimer_.Stop();
  link_.Stop();
}

void WindowLink::OnTimer(LinkClock::time_point now) {
  // A real expiry finds the timer stopped already.
  responseTimer_.Stop();
  link_.OnDeadline(now);
}

void WindowLink::DeadlineChanged() {
  const auto deadline = link_.Deadline();
  if (!deadline) {
    responseTimer_.Stop();
    return;
  }
  // A timer that has fired or was stopped is no longer running, whatever was recorded.
  if (responseTimer_.IsRunning() && !arming_.MustSet(*deadline)) return;
  // At least one: a timer that fired a moment early would only be set again for the rest.
  responseTimer_.StartOnce(std::max(link_.MillisecondsToDeadline(LinkClock::now()), 1));
  arming_.Set(*deadline);
}

}  // namespace vannor
