#include "ui/port_watch.h"

namespace vannor {

// The Windows line never hands the window a descriptor: its listener thread posts.
void PortWatch::Watch(int /*descriptor*/) {}

}  // namespace vannor
