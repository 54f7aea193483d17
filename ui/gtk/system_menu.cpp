#include "ui/system_menu.h"

namespace vannor {

bool AddToSystemMenu(wxTopLevelWindow& /*window*/, int /*command*/, const wxString& /*text*/) {
  // GTK leaves the window menu to the window manager, which takes no entries from programs.
  return false;
}

}  // namespace vannor
