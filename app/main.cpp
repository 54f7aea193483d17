// Vannor: writes program images into a radio's two DSPs and reads their versions.
#include <wx/app.h>

#include "app/vannor_app.h"
#include "ui/look.h"

wxIMPLEMENT_APP_NO_MAIN(vannor::VannorApp);

int main(int argc, char** argv) {
  // Before the toolkit starts: the dialogs' face is resolved once, at first use.
  vannor::ActivateFontAlias();
  // The application object returns false from its start-up once the main window has closed,
  // which the toolkit reports as a failure; only a window that never ran is one.
  wxEntry(argc, argv);
  return vannor::VannorApp::MainWindowRan() ? 0 : 1;
}
