#include "ui/system_menu.h"

namespace vannor {

wxMenu* SystemMenuOf(wxTopLevelWindow& /*window*/) {
  return nullptr;  // GTK leaves the window menu to the window manager; a program adds nothing
}

}  // namespace vannor
