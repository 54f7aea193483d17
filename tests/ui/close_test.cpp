// End, Esc, the close box and Enter: each ends the window only after the stop sequence has
// ended the listener and closed the port. The window runs modally here, as in the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/checkbox.h>
#include <wx/timer.h>

#include <functional>

#include "protocol/messages.h"
#include "res/resource.h"
#include "tests/ui/window_fixture.h"

namespace vannor::uitest {
namespace {

using testing::ElementsAre;

class CloseTest : public WindowTest {
 protected:
  // Shows the window modally, runs `act` once it is on screen, and returns the dialog's
  // result. A window that does not end fails the test and is ended with wxID_ABORT.
  int RunModal(const std::function<void()>& act) {
    window = std::make_unique<VannorDlg>();
    VannorDlg& dlg = *window;
    wxTimer watchdog;
    watchdog.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
      ADD_FAILURE() << "the window did not end";
      dlg.EndModal(wxID_ABORT);
    });
    watchdog.StartOnce(static_cast<int>(std::chrono::milliseconds(PATIENCE).count()));
    dlg.CallAfter([&] {
      if (!PumpUntil([&] { return dlg.FindWindow(wxID_OK)->IsShownOnScreen(); })) return;
      act();
    });
    const int result = dlg.ShowModal();
    watchdog.Stop();
    return result;
  }

  // What the stop sequence leaves behind.
  void ExpectLinkStopped() {
    EXPECT_FALSE(window->ListenerRunning());
    EXPECT_FALSE(window->SerialLine().PortUsable());
    EXPECT_FALSE(window->IsShown());
  }

  void FocusAndWait(wxWindow& control) {
    control.SetFocus();
    ASSERT_TRUE(PumpUntil([&] { return wxWindow::FindFocus() == &control; }));
  }
};

TEST_F(CloseTest, EndStopsTheLinkAndEndsWithOk) {
  StartRadio(1);
  const int result = RunModal([&] { ClickOn(Get<wxWindow>(wxID_OK)); });
  EXPECT_EQ(result, wxID_OK);
  ExpectLinkStopped();
}

TEST_F(CloseTest, EscStopsTheLinkAndCancels) {
  StartRadio(1);
  const int result = RunModal([&] { PressKey(WXK_ESCAPE); });
  EXPECT_EQ(result, wxID_CANCEL);
  ExpectLinkStopped();
}

TEST_F(CloseTest, TheCloseBoxStopsTheLinkAndCancels) {
  StartRadio(1);
  const int result = RunModal([&] {
    // What the window manager sends when the title bar's close box is clicked.
    GdkWindow* frame = gtk_widget_get_window(window->GetHandle());
    GdkEvent* close = gdk_event_new(GDK_DELETE);
    close->any.window = GDK_WINDOW(g_object_ref(frame));
    close->any.send_event = TRUE;
    gtk_main_do_event(close);
    gdk_event_free(close);
  });
  EXPECT_EQ(result, wxID_CANCEL);
  ExpectLinkStopped();
}

TEST_F(CloseTest, TheMenuCloseEntryGoesTheCloseBoxWay) {
  StartRadio(1);
  const int result = RunModal([&] { window->OnSysCommand(res::SC_CLOSE, 0); });
  EXPECT_EQ(result, wxID_CANCEL);
  ExpectLinkStopped();
}

TEST_F(CloseTest, EnterWhereNoPushButtonHasTheFocusPressesEnd) {
  StartRadio(1);
  // A check box would take Enter for itself, the port list's edit field would keep it.
  for (const int focused : {IDC_WRITE_DSP1, IDC_PORT_LIST}) {
    SCOPED_TRACE(focused);
    const int result = RunModal([&] {
      FocusAndWait(Get<wxWindow>(focused));
      PressKey(WXK_RETURN);
    });
    EXPECT_EQ(result, wxID_OK);
    EXPECT_TRUE(Get<wxCheckBox>(IDC_WRITE_DSP1).GetValue());
    ExpectLinkStopped();
  }
}

TEST_F(CloseTest, EnterOnAnotherPushButtonPressesThatButton) {
  StartRadio(1);
  const int result = RunModal([&] {
    Get<wxCheckBox>(IDC_WRITE_DSP1).SetValue(false);
    Get<wxCheckBox>(IDC_WRITE_DSP2).SetValue(false);
    FocusAndWait(Get<wxWindow>(IDC_UPDATE));
    PressKey(WXK_RETURN);
    // Update ran and the window stayed; then End.
    if (!PumpUntil([&] { return !modals.Messages().empty(); })) return;
    EXPECT_TRUE(window->IsShown());
    ClickOn(Get<wxWindow>(wxID_OK));
  });
  EXPECT_EQ(result, wxID_OK);
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_DSP_SELECT_ERROR)));
}

TEST_F(CloseTest, EndDuringAnExchangeLeavesNoTimeOutBehind) {
  sim::RadioConfig silent;
  silent.versionReplyLength = 0;
  StartRadio(1, silent);
  const int result = RunModal([&] {
    ClickOn(Get<wxWindow>(IDC_VER_READ));
    if (!PumpUntil([&] {
          return window->Engine().State().protocolState == ProtocolState::AwaitVersion1;
        })) {
      return;
    }
    ClickOn(Get<wxWindow>(wxID_OK));
  });
  EXPECT_EQ(result, wxID_OK);
  ExpectLinkStopped();
  // Past the five-second response time-out: a window that has ended says nothing more.
  PumpFor(std::chrono::milliseconds(RESPONSE_TIMEOUT_MS + 1000));
  EXPECT_TRUE(modals.Messages().empty());
}

}  // namespace
}  // namespace vannor::uitest
