#include "app/end_signals.h"

#include <glib-unix.h>

namespace vannor {

EndSignals::EndSignals(std::function<void()> onEnd) : onEnd_(std::move(onEnd)) {
  if (signals_.Descriptor() < 0) return;
  const auto onSignal = [](gint /*descriptor*/, GIOCondition /*condition*/, gpointer self) {
    auto& watch = *static_cast<EndSignals*>(self);
    // This runs in the loop, on the window's thread, where ending the window is safe.
    if (watch.signals_.Take()) watch.onEnd_();
    return gboolean{G_SOURCE_CONTINUE};
  };
  watch_ = g_unix_fd_add(signals_.Descriptor(), G_IO_IN, onSignal, this);
}

EndSignals::~EndSignals() {
  // Ignored: false only for a source that is gone already.
  if (watch_ != 0) (void)g_source_remove(watch_);
}

}  // namespace vannor
