// The program's icon (resource IDR_MAINICON) as the toolkit's images.
#pragma once

#include <wx/bitmap.h>
#include <wx/iconbndl.h>

namespace vannor {

// Every size of the icon, for the window manager to choose from.
wxIconBundle LoadAppIcons();

// The icon at the drawn size closest to `pixels`.
wxBitmap AppIconBitmap(int pixels);

}  // namespace vannor
