#include "ui/port_watch.h"

#include <glib-unix.h>

namespace vannor {

namespace {

gboolean OnDescriptorReady(gint /*descriptor*/, GIOCondition condition, gpointer data) {
  const bool hungUp = (condition & (G_IO_HUP | G_IO_ERR | G_IO_NVAL)) != 0;
  (*static_cast<PortWatch::Ready*>(data))(hungUp);
  // The source stays until PortEvent replaces it; a port that hung up is closed by the engine,
  // and that removes it.
  return G_SOURCE_CONTINUE;
}

}  // namespace

PortWatch::PortWatch(wxWindow& window, Ready ready, Waitable waitable)
    : window_(window), ready_(std::move(ready)), waitable_(std::move(waitable)) {}

PortWatch::~PortWatch() {
  // Ignored: the id is ours and the source still attached; it never removes itself.
  if (source_ != 0) (void)g_source_remove(source_);
}

void PortWatch::PortEvent() {
  if (source_ != 0) {
    // Ignored: the id is ours and the source still attached; it never removes itself.
    (void)g_source_remove(source_);
    source_ = 0;
  }
  const int descriptor = waitable_();
  if (descriptor < 0) return;
  // Default priority, as the toolkit's own timers and input: an arrival neither starves the
  // window nor waits behind it.
  source_ = g_unix_fd_add(descriptor, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                          &OnDescriptorReady, &ready_);
}

}  // namespace vannor
