// The window's side of its Link: the port's events and the response timer on the window's own
// event loop. On GTK a GLib source watches the port's descriptor; on Windows the listener posts
// WM_COMM_NOTIFY to the window. RESPONSE_TIMER is the window's timer, set to the link's
// deadline and set again for the rest when it fires early. Outcomes go to the window's handler.
#pragma once

#include <wx/event.h>
#include <wx/window.h>

#include <functional>
#include <memory>

#include "protocol/link.h"
#include "res/resource.h"
#include "ui/port_watch.h"
#include "ui/response_timer.h"

namespace vannor {

// The listener's "bytes have arrived" message; both parameters are 0.
inline constexpr int WM_COMM_NOTIFY = 0x0405;
wxDECLARE_EVENT(COMM_NOTIFY_EVENT, wxThreadEvent);

class WindowLink final : public LinkHost {
 public:
  using OutcomeHandler = std::function<void(const ExchangeOutcome&)>;

  WindowLink(wxWindow& window, OutcomeHandler onOutcome, std::unique_ptr<PortBackend> backend);
  ~WindowLink();
  WindowLink(const WindowLink&) = delete;
  WindowLink& operator=(const WindowLink&) = delete;

  Link& Get() { return link_; }
  const Link& Get() const { return link_; }

  // The stop sequence, with the timer stopped: a window that is going shows no box.
  void Stop();

  // LinkHost.
  void DeadlineChanged() override;
  // From the listener thread (Windows): queues WM_COMM_NOTIFY; never blocks.
  void PostCommNotify() override;
  void WatchDescriptor(int descriptor) override { portWatch_.Watch(descriptor); }
  void ReportOutcome(const ExchangeOutcome& outcome) override { onOutcome_(outcome); }

  // RESPONSE_TIMER fired at `now` (the tests fire it at a time of their choosing).
  void OnTimer(LinkClock::time_point now) { link_.OnDeadline(now); }
  bool TimerRunning() const { return responseTimer_.IsRunning(); }

 private:
  void OnCommNotify(wxThreadEvent& event);

  wxWindow& window_;
  OutcomeHandler onOutcome_;
  ResponseTimer responseTimer_;
  PortWatch portWatch_;
  Link link_;
};

}  // namespace vannor
