#include "ui/system_menu.h"

namespace vannor {

wxMenu* SystemMenuOf(wxTopLevelWindow& window) {
  // The window's own menu (GetSystemMenu); the toolkit turns a WM_SYSCOMMAND of an entry below
  // the system's own commands into a menu event of its identifier, with the low four bits
  // cleared, and WM_INITMENUPOPUP of it into a menu-open event.
  return window.MSWGetSystemMenu();
}

}  // namespace vannor
