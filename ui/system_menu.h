// The window menu, where the platform has a window menu of its own (Windows' system menu,
// ui/msw). GTK leaves the window menu to the window manager: ui/gtk has none to give.
#pragma once

#include <wx/menu.h>
#include <wx/toplevel.h>

namespace vannor {

// The window's own system menu, to which the program appends its entries; a WM_SYSCOMMAND for
// one arrives as the menu event of its command. Null when the window has none.
wxMenu* SystemMenuOf(wxTopLevelWindow& window);

}  // namespace vannor
