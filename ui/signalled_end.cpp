#include "ui/signalled_end.h"

#include <wx/evtloop.h>

#include "ui/modal_close.h"

namespace vannor {

namespace {

// A signalled end looks again this often whether the dialog on top has gone.
constexpr int RETRY_MS = 50;

}  // namespace

SignalledEnd::SignalledEnd(wxWindow& window, int retryTimerId, std::function<bool()> ready,
                           std::function<void()> end)
    : window_(window),
      retryTimerId_(retryTimerId),
      ready_(std::move(ready)),
      end_(std::move(end)),
      retry_(&window, retryTimerId) {
  window_.Bind(wxEVT_TIMER, &SignalledEnd::OnRetry, this, retryTimerId_);
}

SignalledEnd::~SignalledEnd() {
  retry_.Stop();
  window_.Unbind(wxEVT_TIMER, &SignalledEnd::OnRetry, this, retryTimerId_);
}

int SignalledEnd::ShowModal(wxDialog& dialog) {
  wxDialog* const outer = nested_;
  nested_ = &dialog;
  const int result = dialog.ShowModal();
  nested_ = outer;
  // The next dialog may take this one's place in memory; it has not been closed.
  if (closed_ == &dialog) closed_ = nullptr;
  return result;
}

void SignalledEnd::Request() {
  requested_ = true;
  // Not while a dialog of the window's is open, nor before the window's own modal loop runs:
  // there is nothing to end yet. Close what is open and look again shortly.
  if (nested_ != nullptr || !ready_() || wxEventLoopBase::GetActive() == nullptr) {
    if (nested_ != nullptr && nested_ != closed_ && CloseModalDialog(*nested_)) closed_ = nested_;
    retry_.StartOnce(RETRY_MS);
    return;
  }
  end_();
}

void SignalledEnd::OnRetry(wxTimerEvent& /*event*/) {
  Request();
}

}  // namespace vannor
