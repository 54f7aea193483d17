// The window menu, where the platform has a window menu of its own.
#pragma once

#include <wx/menu.h>
#include <wx/toplevel.h>

namespace vannor {

// The window's own system menu, to which the program appends its entries; a WM_SYSCOMMAND for
// one arrives as the menu event of its command. Null where the platform gives programs no
// system menu (GTK, ui/gtk): the caller provides a stand-in.
wxMenu* SystemMenuOf(wxTopLevelWindow& window);

}  // namespace vannor
