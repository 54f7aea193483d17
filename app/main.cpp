// Vannor: writes program images into a radio's two DSPs and reads their versions.
#include <wx/app.h>

#include "app/command_line.h"
#include "app/end_signals.h"
#include "app/vannor_app.h"
#include "process/standard_streams.h"
#include "ui/look.h"

wxIMPLEMENT_APP_NO_MAIN(vannor::VannorApp);

int main(int argc, char** argv) {
  // Before anything opens a port, a file or the display: none of them may become standard error.
  vannor::EnsureStandardStreams();
  vannor::EndSignals::HoldBack();
  // Help, version and usage errors need no display, so they come before the toolkit.
  int exitStatus = 0;
  if (vannor::AnswerCommandLine(argc, argv, exitStatus)) return exitStatus;
  // Before the toolkit starts: the dialogs' face is resolved once, at first use.
  vannor::ActivateFontAlias();
  // The toolkit takes no options of its own: the command line has been answered. The
  // application object returns false from its start-up once the main window has closed, which
  // the toolkit reports as a failure; only a window that never ran is one.
  int toolkitArgc = 1;
  wxEntry(toolkitArgc, argv);
  return vannor::VannorApp::MainWindowRan() ? 0 : 1;
}
