// The window menu, where the platform has a window menu of its own (platform::HAS_WINDOW_MENU,
// ui/msw); GTK's build defines none.
#pragma once

#include <wx/menu.h>
#include <wx/toplevel.h>

namespace vannor {

// The window's own system menu, to which the program appends its entries; a WM_SYSCOMMAND for
// one arrives as the menu event of its command. Null when the window has none.
wxMenu* SystemMenuOf(wxTopLevelWindow& window);

}  // namespace vannor
