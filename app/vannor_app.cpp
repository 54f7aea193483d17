#include "app/vannor_app.h"

#include "app/end_signals.h"
#include "platform/platform_has.h"
#include "ui/look.h"
#include "ui/vannor_dlg.h"

namespace vannor {

bool VannorApp::mainWindowRan = false;

bool VannorApp::InitInstance() {
  // Without the style sheet the window still works, with some controls clipped.
  if constexpr (platform::HAS_TOOLKIT_LOOK) LoadDialogCss();
  VannorDlg dialog;
  SetTopWindow(&dialog);
  // From before the first port opens until the window has closed it again.
  const platform::Present<EndSignals, platform::HAS_END_SIGNALS> endSignals(
      [&dialog] { dialog.EndOnSignal(); });
  // End and cancel end the program alike.
  dialog.ShowModal();
  SetTopWindow(nullptr);
  mainWindowRan = true;
  return false;
}

}  // namespace vannor
