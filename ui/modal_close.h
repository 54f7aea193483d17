// Closing a modal dialog that is on screen from outside it, as its own Esc would, for an end
// that cannot wait for the user (a signal; ui/gtk). Windows sends the window program none:
// ui/msw closes nothing.
#pragma once

class wxDialog;

namespace vannor {

// Asks the dialog to end with cancel. False when it cannot be closed yet (a message box whose
// window GTK has not made).
bool CloseModalDialog(wxDialog& dialog);

}  // namespace vannor
