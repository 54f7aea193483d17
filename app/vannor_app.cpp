#include "app/vannor_app.h"

#include "ui/look.h"
#include "ui/vannor_dlg.h"

namespace vannor {

bool VannorApp::mainWindowRan = false;

bool VannorApp::InitInstance() {
  // Without the style sheet the window still works, with some controls clipped.
  LoadDialogCss();
  VannorDlg dialog;
  SetTopWindow(&dialog);
  // End and cancel end the program alike.
  dialog.ShowModal();
  SetTopWindow(nullptr);
  mainWindowRan = true;
  return false;
}

}  // namespace vannor
