#include "ui/port_watch.h"

#include <glib-unix.h>

namespace vannor {

struct PortWatch::Source {
  static gboolean OnDescriptorReady(gint /*descriptor*/, GIOCondition condition, gpointer data) {
    PortWatch& watch = *static_cast<PortWatch*>(data);
    if (watch.inReady_) {
      // A modal loop run from Ready itself (the box at an exchange's end) hears nothing of the
      // port: it is watched again once Ready has returned.
      watch.Unwatch();
      watch.watchAfter_ = true;
      return G_SOURCE_CONTINUE;
    }
    const bool hungUp = (condition & (G_IO_HUP | G_IO_ERR | G_IO_NVAL)) != 0;
    watch.inReady_ = true;
    watch.ready_(hungUp);
    watch.inReady_ = false;
    if (watch.watchAfter_) {
      watch.watchAfter_ = false;
      watch.PortEvent();
    }
    // The source stays until PortEvent replaces it; a port that hung up is closed by the engine,
    // and that removes it.
    return G_SOURCE_CONTINUE;
  }
};

PortWatch::PortWatch(wxWindow& window, Ready ready, Waitable waitable)
    : window_(window), ready_(std::move(ready)), waitable_(std::move(waitable)) {}

PortWatch::~PortWatch() {
  Unwatch();
}

void PortWatch::Unwatch() {
  if (source_ == 0) return;
  // Ignored: the id is ours and the source still attached; it never removes itself.
  (void)g_source_remove(source_);
  source_ = 0;
}

void PortWatch::PortEvent() {
  Unwatch();
  const int descriptor = waitable_();
  if (descriptor < 0) return;
  GSource* source =
      g_unix_fd_source_new(descriptor, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
  g_source_set_callback(source, G_SOURCE_FUNC(&Source::OnDescriptorReady), this, nullptr);
  // GLib takes a source that may not recurse off its poll list for each call and puts it back
  // after, and each of the two wakes the loop for one more pass: three system calls and a pass
  // for every byte of an image. Ours may recurse; OnDescriptorReady keeps a nested loop out.
  g_source_set_can_recurse(source, TRUE);
  // Default priority, as the toolkit's own timers and input: an arrival neither starves the
  // window nor waits behind it.
  source_ = g_source_attach(source, nullptr);
  g_source_unref(source);  // the loop holds it until it is removed
}

}  // namespace vannor
