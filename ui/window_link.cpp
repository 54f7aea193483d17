#include "ui/window_link.h"

#include <algorithm>

namespace vannor {

wxDEFINE_EVENT(COMM_NOTIFY_EVENT, wxThreadEvent);

WindowLink::WindowLink(wxWindow& window, OutcomeHandler onOutcome,
                       std::unique_ptr<PortBackend> backend)
    : window_(window),
      onOutcome_(std::move(onOutcome)),
      responseTimer_(window, [this] { OnTimer(LinkClock::now()); }),
      portWatch_([this](bool) { link_.OnPortReady(); }),
      link_(*this, "vannor", ExchangeTrace::Requested(), std::move(backend)) {
  window_.Bind(COMM_NOTIFY_EVENT, &WindowLink::OnCommNotify, this, WM_COMM_NOTIFY);
}

WindowLink::~WindowLink() {
  // The listener ends before the window it posts to, and nothing waits on the port any more.
  Stop();
  window_.Unbind(COMM_NOTIFY_EVENT, &WindowLink::OnCommNotify, this, WM_COMM_NOTIFY);
}

void WindowLink::Stop() {
  responseTimer_.Stop();
  link_.Stop();
}

void WindowLink::DeadlineChanged() {
  const auto deadline = link_.Deadline();
  if (!deadline) {
    responseTimer_.Stop();
    return;
  }
  // At least one: a timer that fired a moment early would only be set again for the rest.
  responseTimer_.StartOnce(std::max(link_.MillisecondsToDeadline(LinkClock::now()), 1));
}

void WindowLink::PostCommNotify() {
  // Thread-safe: the event is queued for the window's thread, which takes ownership of it.
  wxQueueEvent(&window_, new wxThreadEvent(COMM_NOTIFY_EVENT, WM_COMM_NOTIFY));
}

void WindowLink::OnCommNotify(wxThreadEvent& /*event*/) {
  link_.OnPortReady();
}

}  // namespace vannor
