// The window menu's About entry, where the platform has a window menu of its own.
#pragma once

#include <wx/string.h>
#include <wx/toplevel.h>

namespace vannor {

// Appends a separator and the entry `text` with `command` to the window's own system menu, and
// returns true; a WM_SYSCOMMAND for it arrives as the menu event `command`. False where the
// platform gives programs no system menu (GTK, ui/gtk): the caller provides a stand-in.
// Nothing is appended for an empty text.
bool AddToSystemMenu(wxTopLevelWindow& window, int command, const wxString& text);

}  // namespace vannor
