#include "ui/app_icon.h"

#include <wx/icon.h>

#include "res/resource.h"

namespace vannor {

namespace {

// The icon group IDR_MAINICON of the program's resources, by number.
wxString IconResource() {
  return wxString::Format("#%d", res::IDR_MAINICON);
}

}  // namespace

wxIconBundle LoadAppIcons() {
  // Every size in the group, from the program's own module (no module: the one that started
  // the process); Windows picks the caption's and the task bar's from them.
  return wxIconBundle(IconResource(), nullptr);
}

wxBitmap AppIconBitmap(int pixels) {
  wxIcon icon;
  // Windows draws the group's image nearest in size, scaled where it has to be.
  if (!icon.LoadFile(IconResource(), wxBITMAP_TYPE_ICO_RESOURCE, pixels, pixels)) {
    return wxBitmap();
  }
  return wxBitmap(icon);
}

}  // namespace vannor
