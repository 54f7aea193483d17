// The window's side of its Link: the port's events and the response timer on the window's own
// event loop. The port is heard through PortWatch (a GLib source on GTK, the listener's queued
// calls on Windows). RESPONSE_TIMER is the window's timer, set to the link's deadline as
// TimerArming says. Outcomes go to the window's handler.
#pragma once

#include <wx/event.h>
#include <wx/window.h>

#include <functional>
#include <memory>

#include "protocol/link.h"
#include "protocol/timer_arming.h"
#include "res/resource.h"
#include "ui/port_watch.h"
#include "ui/response_timer.h"

namespace vannor {

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
  void PortEvent() override { portWatch_.PortEvent(); }
  void ReportOutcome(const ExchangeOutcome& outcome) override { onOutcome_(outcome); }

  // RESPONSE_TIMER fired at `now` (the tests fire it at a time of their choosing): like a
  // timer that has fired, it runs no more unless the link sets it again.
  void OnTimer(LinkClock::time_point now);
  bool TimerRunning() const { return responseTimer_.IsRunning(); }
  // For tests: the timer's next expiry is lost on its way to the window.
  void LoseNextTimerExpiry() { responseTimer_.LoseNextExpiry(); }

 private:
  OutcomeHandler onOutcome_;
  ResponseTimer responseTimer_;
  TimerArming arming_;
  PortWatch portWatch_;
  Link link_;
};

}  // namespace vannor
