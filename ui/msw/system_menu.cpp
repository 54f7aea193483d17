#include "ui/system_menu.h"

#include <wx/menu.h>

namespace vannor {

bool AddToSystemMenu(wxTopLevelWindow& window, int command, const wxString& text) {
  // The window's own menu (GetSystemMenu); the toolkit turns a WM_SYSCOMMAND of an entry below
  // the system's own commands into a menu event of its identifier, with the low four bits
  // cleared.
  wxMenu* menu = window.MSWGetSystemMenu();
  if (menu == nullptr || text.empty()) return true;
  menu->AppendSeparator();
  menu->Append(command, text);
  return true;
}

}  // namespace vannor
