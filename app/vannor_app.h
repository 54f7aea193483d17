// The application object: runs the main window as a modal dialog and ends the program when it
// closes.
#pragma once

#include <wx/app.h>

namespace vannor {

class VannorApp final : public wxApp {
 public:
  bool OnInit() override { return InitInstance(); }

  // Shows the main window modally; false afterwards, so that the program ends instead of
  // entering a message loop of its own.
  bool InitInstance();

  // Whether the main window was shown and closed: how the program tells a normal end from a
  // toolkit that could not start.
  static bool MainWindowRan() { return mainWindowRan; }

 private:
  static bool mainWindowRan;
};

}  // namespace vannor
