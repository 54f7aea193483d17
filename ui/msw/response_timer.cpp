#include "ui/response_timer.h"

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <atomic>

#include "res/resource.h"

namespace vannor {

namespace {

wxDEFINE_EVENT(RESPONSE_TIMER_EVENT, wxThreadEvent);

// A due time that never comes while the window lives (about 49 days): the timer is kept and
// moved, never made anew at each byte, and a moved one-shot timer that has fired would not move.
constexpr DWORD NEVER_MS = 0xFFFFFFF0;

}  // namespace

// A timer-queue timer whose expiry is queued to this handler on the window's thread, with the
// number of the start it belongs to: an expiry queued before a stop or a new start is known by
// it and dropped. Expiries still queued when the handler goes are deleted with it.
struct ResponseTimer::Platform final : wxEvtHandler {
  explicit Platform(const std::function<void()>& expired) : expired(expired) {
    Bind(RESPONSE_TIMER_EVENT, &Platform::OnExpiry, this, RESPONSE_TIMER);
    // Windows' timers otherwise tick at 15.6 ms. Ignored: without it the timer fires late, and
    // the quiet wait is measured by the clock anyway.
    fineResolution = timeBeginPeriod(1) == TIMERR_NOERROR;
  }
  ~Platform() override {
    // Waits for an expiry that is being queued, so that none is queued to a handler that is
    // gone. Ignored: a timer that cannot be deleted has nothing left to fire into.
    if (timer != nullptr) (void)DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
    if (fineResolution) (void)timeEndPeriod(1);  // ours, begun above
  }

  static void CALLBACK Fire(void* context, BOOLEAN /*timedOut*/) {
    auto* self = static_cast<Platform*>(context);
    auto* event = new wxThreadEvent(RESPONSE_TIMER_EVENT, RESPONSE_TIMER);
    event->SetInt(static_cast<int>(self->start.load()));
    // Thread-safe: the window's thread takes the event and its ownership.
    wxQueueEvent(self, event);
  }

  void OnExpiry(wxThreadEvent& event) {
    if (!running || static_cast<unsigned>(event.GetInt()) != start.load()) return;
    running = false;
    expired();
  }

  const std::function<void()>& expired;
  HANDLE timer = nullptr;
  bool fineResolution = false;
  bool running = false;  // the window's thread only
  std::atomic<unsigned> start{0};
};

ResponseTimer::ResponseTimer(wxWindow& /*window*/, std::function<void()> expired)
    : expired_(std::move(expired)), platform_(std::make_unique<Platform>(expired_)) {}

ResponseTimer::~ResponseTimer() = default;

void ResponseTimer::StartOnce(int milliseconds) {
  Platform& timer = *platform_;
  ++timer.start;
  const DWORD due = static_cast<DWORD>(milliseconds > 0 ? milliseconds : 1);
  const bool set = timer.timer == nullptr
                       ? CreateTimerQueueTimer(&timer.timer, nullptr, &Platform::Fire, &timer, due,
                                               NEVER_MS, WT_EXECUTEINTIMERTHREAD) != FALSE
                       : ChangeTimerQueueTimer(nullptr, timer.timer, due, NEVER_MS) != FALSE;
  // A timer Windows would not give leaves the exchange to wait for its radio's bytes alone;
  // the link's own deadline still stands, and the next start tries again.
  timer.running = set;
  if (!set && timer.timer != nullptr) {
    (void)DeleteTimerQueueTimer(nullptr, timer.timer, INVALID_HANDLE_VALUE);  // tried again next
    timer.timer = nullptr;
  }
}

void ResponseTimer::Stop() {
  Platform& timer = *platform_;
  ++timer.start;
  timer.running = false;
  // Ignored: an expiry that still comes belongs to a stopped start and is dropped.
  if (timer.timer != nullptr) (void)ChangeTimerQueueTimer(nullptr, timer.timer, NEVER_MS, NEVER_MS);
}

bool ResponseTimer::IsRunning() const {
  return platform_->running;
}

}  // namespace vannor
