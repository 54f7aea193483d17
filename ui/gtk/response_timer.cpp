#include "ui/response_timer.h"

#include <wx/timer.h>

#include "res/resource.h"

namespace vannor {

// The window's timer RESPONSE_TIMER; its expiry goes straight to the link's host.
struct ResponseTimer::Platform final : wxTimer {
  Platform(wxWindow& window, const std::function<void()>& expired)
      : wxTimer(&window, RESPONSE_TIMER), expired(expired) {}
  void Notify() override { expired(); }
  const std::function<void()>& expired;
};

ResponseTimer::ResponseTimer(wxWindow& window, std::function<void()> expired)
    : expired_(std::move(expired)), platform_(std::make_unique<Platform>(window, expired_)) {}

ResponseTimer::~ResponseTimer() = default;

void ResponseTimer::StartOnce(int milliseconds) {
  platform_->StartOnce(milliseconds);
}

void ResponseTimer::Stop() {
  platform_->Stop();
}

bool ResponseTimer::IsRunning() const {
  return platform_->IsRunning();
}

void ResponseTimer::LoseNextExpiry() {
  // GLib fires the timer on the window's own thread: nothing lies between them to lose one.
}

}  // namespace vannor
