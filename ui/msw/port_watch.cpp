#include "ui/port_watch.h"

namespace vannor {

namespace {

// The listener's "bytes have arrived" call, queued to the window's thread.
constexpr int WM_COMM_NOTIFY = 0x0405;
wxDEFINE_EVENT(COMM_NOTIFY_EVENT, wxThreadEvent);

}  // namespace

PortWatch::PortWatch(wxWindow& window, Ready ready, Waitable waitable)
    : window_(window), ready_(std::move(ready)), waitable_(std::move(waitable)) {
  window_.Bind(COMM_NOTIFY_EVENT, &PortWatch::OnQueued, this, WM_COMM_NOTIFY);
}

PortWatch::~PortWatch() {
  window_.Unbind(COMM_NOTIFY_EVENT, &PortWatch::OnQueued, this, WM_COMM_NOTIFY);
}

void PortWatch::PortEvent() {
  // Thread-safe: the event is queued for the window's thread, which takes ownership of it.
  wxQueueEvent(&window_, new wxThreadEvent(COMM_NOTIFY_EVENT, WM_COMM_NOTIFY));
}

void PortWatch::OnQueued(wxThreadEvent& /*event*/) {
  ready_(false);
}

}  // namespace vannor
