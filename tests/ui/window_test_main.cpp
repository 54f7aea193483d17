// Starts the toolkit once for all window tests of a program, on the display the run was given
// (with-display.sh provides a private Xvfb when there is none), and fails any test during which
// the toolkit reports a broken assumption instead of letting it open its own dialog.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "testing/scoped_env.h"
#include "ui/look.h"

namespace {

class WindowTestApp final : public wxApp {
 public:
  bool OnInit() override { return true; }
};

void FailOnAssert(const wxString& file, int line, const wxString& function,
                  const wxString& condition, const wxString& message) {
  ADD_FAILURE_AT(file.utf8_string().c_str(), line)
      << "toolkit assertion \"" << condition.utf8_string() << "\" in " << function.utf8_string()
      << ": " << message.utf8_string();
}

}  // namespace

// GTK and Pango hold fontconfig's patterns until the process ends and never release them; under
// LeakSanitizer that would fail every window test at exit.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

wxIMPLEMENT_APP_NO_MAIN(WindowTestApp);

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests needs no display.
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  // GTK: no accessibility bus and no desktop file system services: neither exists under Xvfb,
  // and waiting for them only slows the run. Other toolkits ignore these names.
  for (const auto& [name, value] :
       {std::pair{"NO_AT_BRIDGE", "1"}, {"GIO_USE_VFS", "local"}, {"GDK_BACKEND", "x11"}}) {
    if (std::getenv(name) == nullptr) vannor::testkit::SetEnv(name, value);
  }

  vannor::ActivateFontAlias();
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "The window tests need a display: run them through with-display.sh.\n");
    return 2;
  }
  wxSetAssertHandler(FailOnAssert);
  int result = 1;
  if (wxTheApp->CallOnInit()) {
    vannor::LoadDialogCss();
    wxGUIEventLoop loop;
    wxEventLoopActivator active(&loop);
    result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
  }
  wxEntryCleanup();
  return result;
}
