#include "ui/modal_close.h"

#include <wx/dialog.h>

namespace vannor {

// Windows sends the program no signals to end on; a dialog that runs the toolkit's modal loop
// can still be ended the same way as on GTK.
bool CloseModalDialog(wxDialog& dialog) {
  if (!dialog.IsModal()) return false;
  dialog.EndModal(wxID_CANCEL);
  return true;
}

}  // namespace vannor
