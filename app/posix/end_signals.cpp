#include "app/end_signals.h"

#include <glib-unix.h>
#include <signal.h>

#include <iterator>
#include <type_traits>

namespace vannor {

namespace {

constexpr int END_SIGNALS[] = {SIGTERM, SIGHUP, SIGINT};

gboolean OnEndSignal(gpointer self) {
  // GLib's own handler only notes the signal and wakes the loop; this runs in the loop, on the
  // window's thread, where ending the window is safe.
  static_cast<std::function<void()>*>(self)->operator()();
  return G_SOURCE_CONTINUE;
}

}  // namespace

EndSignals::EndSignals(std::function<void()> onEnd) : onEnd_(std::move(onEnd)) {
  static_assert(std::size(END_SIGNALS) == std::extent_v<decltype(watches_)>);
  for (std::size_t i = 0; i < std::size(END_SIGNALS); ++i) {
    // GLib refuses only signals outside the few it serves, and these three are among them.
    watches_[i] = g_unix_signal_add(END_SIGNALS[i], OnEndSignal, &onEnd_);
  }
}

EndSignals::~EndSignals() {
  // Once the last source of a signal goes, GLib gives it its default action again.
  for (unsigned watch : watches_) {
    // Ignored: false only for a source that is gone already.
    if (watch != 0) (void)g_source_remove(watch);
  }
}

}  // namespace vannor
