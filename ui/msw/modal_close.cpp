#include "ui/modal_close.h"

namespace vannor {

bool CloseModalDialog(wxDialog& /*dialog*/) {
  return false;  // no signal reaches the Windows window program, so nothing closes a dialog
}

}  // namespace vannor
