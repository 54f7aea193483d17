#include "ui/display_loss.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vannor {

namespace {

// Replaces the toolkit's own handler, which ends the process on the spot; this one only says
// what happened and returns, so that the library goes on to the connection's exit handler below,
// the one place that gets the guard's data.
int TellLostDisplay(Display* display) {
  // Ignored: standard error is all there is left to tell.
  const int error = errno;
  if (error != 0) {
    (void)std::fprintf(stderr, "vannor: lost the connection to the display %s (%s)\n",
                       DisplayString(display), std::strerror(error));
  } else {
    (void)std::fprintf(stderr, "vannor: lost the connection to the display %s\n",
                       DisplayString(display));
  }
  return 0;
}

void EndAfterLostDisplay(Display* /*display*/, void* lastWords) {
  (*static_cast<std::function<void()>*>(lastWords))();
  // _exit, not exit: the toolkit's own clean-up would talk to the dead display again.
  _exit(1);
}

}  // namespace

DisplayLossGuard::DisplayLossGuard(std::function<void()> lastWords)
    : lastWords_(std::move(lastWords)) {
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return;
  Display* x = gdk_x11_display_get_xdisplay(display);
  (void)XSetIOErrorHandler(TellLostDisplay);  // returns the toolkit's handler, not kept
  XSetIOErrorExitHandler(x, EndAfterLostDisplay, &lastWords_);
  display_ = x;
}

DisplayLossGuard::~DisplayLossGuard() {
  // The exit handler must not point at a guard that is gone; the library's default ends the
  // process as before.
  if (display_ != nullptr)
    XSetIOErrorExitHandler(static_cast<Display*>(display_), nullptr, nullptr);
}

}  // namespace vannor
