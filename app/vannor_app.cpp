#include "app/vannor_app.h"

#include "app/end_signals.h"
#include "ui/look.h"
#include "ui/vannor_dlg.h"

namespace vannor {

bool VannorApp::mainWindowRan = false;

bool VannorApp::InitInstance() {
  // Without the style sheet the window still works, with some controls clipped.
  LoadDialogCss();
  VannorDlg dialog;
  SetTopWindow(&dialog);
  // From before the first port opens until the window has closed it again.
  const EndSignals endSignals([&dialog] { dialog.EndOnSignal(); });
  // End and cancel end the program alike.
  dialog.ShowModal();
  SetTopWindow(nullptr);
  mainWindowRan = true;
  return false;
}

}  // namespace vannor
