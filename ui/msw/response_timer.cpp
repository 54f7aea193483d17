#include "ui/response_timer.h"

#include <windows.h>

#include <atomic>

#include "res/resource.h"
#include "serial/win32/fine_timer_resolution.h"

namespace vannor {

namespace {

wxDEFINE_EVENT(RESPONSE_TIMER_EVENT, wxThreadEvent);

// A due time that never comes while the window lives (about 49 days): the timer is kept and
// moved, never made anew at each byte, and a moved one-shot timer that has fired would not move.
constexpr DWORD NEVER_MS = 0xFFFFFFF0;
// After its due time the timer fires again this often until its expiry has reached the window:
// an expiry lost between the timer's thread and the window's is followed by another, so a due
// deadline is never left waiting for good.
constexpr DWORD REPEAT_MS = 250;

}  // namespace

// A timer-queue timer whose expiry is queued to this handler on the window's thread, with the
// number of the start it belongs to: an expiry queued before a stop or a new start is known by
// it and dropped. The first expiry of a start that arrives is the start's; the repeats after it
// quiet the timer. Expiries still queued when the handler goes are deleted with it.
struct ResponseTimer::Platform final : wxEvtHandler {
  explicit Platform(const std::function<void()>& expired) : expired(expired) {
    Bind(RESPONSE_TIMER_EVENT, &Platform::OnExpiry, this, RESPONSE_TIMER);
  }
  ~Platform() override {
    // Waits for an expiry that is being queued, so that none is queued to a handler that is
    // gone. Ignored: a timer that cannot be deleted has nothing left to fire into.
    if (timer != nullptr) (void)DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
  }

  static void CALLBACK Fire(void* context, BOOLEAN /*timedOut*/) {
    auto* self = static_cast<Platform*>(context);
    auto* event = new wxThreadEvent(RESPONSE_TIMER_EVENT, RESPONSE_TIMER);
    event->SetInt(static_cast<int>(self->start.load()));
    // Thread-safe: the window's thread takes the event and its ownership.
    wxQueueEvent(self, event);
  }

  void OnExpiry(wxThreadEvent& event) {
    if (static_cast<unsigned>(event.GetInt()) != start.load()) return;
    if (loseNext) {
      loseNext = false;
      return;
    }
    if (!running) {
      // A repeat after the start's expiry was taken. Ignored: one more only comes here again.
      (void)ChangeTimerQueueTimer(nullptr, timer, NEVER_MS, NEVER_MS);
      return;
    }
    running = false;
    expired();
  }

  const std::function<void()>& expired;
  const FineTimerResolution fineTimers;
  HANDLE timer = nullptr;
  bool running = false;   // the window's thread only
  bool loseNext = false;  // the same
  std::atomic<unsigned> start{0};
};

ResponseTimer::ResponseTimer(wxWindow& /*window*/, std::function<void()> expired)
    : expired_(std::move(expired)), platform_(std::make_unique<Platform>(expired_)) {}

ResponseTimer::~ResponseTimer() = default;

void ResponseTimer::StartOnce(int milliseconds) {
  Platform& timer = *platform_;
  ++timer.start;
  const DWORD due = static_cast<DWORD>(milliseconds);
  const bool set = timer.timer == nullptr
                       ? CreateTimerQueueTimer(&timer.timer, nullptr, &Platform::Fire, &timer, due,
                                               REPEAT_MS, WT_EXECUTEINTIMERTHREAD) != FALSE
                       : ChangeTimerQueueTimer(nullptr, timer.timer, due, REPEAT_MS) != FALSE;
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

void ResponseTimer::LoseNextExpiry() {
  platform_->loseNext = true;
}

}  // namespace vannor
