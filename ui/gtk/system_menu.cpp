#include "ui/system_menu.h"

namespace vannor {

wxMenu* SystemMenuOf(wxTopLevelWindow& /*window*/) {
  // GTK leaves the window menu to the window manager, which takes no entries from programs.
  return nullptr;
}

}  // namespace vannor
