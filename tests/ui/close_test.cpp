// End, Esc, the close box and Enter: each ends the window only after the stop sequence has
// stopped watching the port and closed it. The window runs modally here, as in the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/timer.h>

#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/messages.h"
#include "res/resource.h"
#include "testing/temp_dir.h"
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
    EXPECT_FALSE(window->Watching());
    EXPECT_FALSE(window->SerialLine().PortUsable());
    EXPECT_FALSE(window->IsShown());
  }

  // What the window manager sends when the title bar's close box is clicked.
  void ClickCloseBox() {
    GdkWindow* frame = gtk_widget_get_window(window->GetHandle());
    GdkEvent* close = gdk_event_new(GDK_DELETE);
    close->any.window = GDK_WINDOW(g_object_ref(frame));
    close->any.send_event = TRUE;
    gtk_main_do_event(close);
    gdk_event_free(close);
  }

  // A radio that takes a millisecond over each echo, and an image it needs seconds for, so
  // that the user has time to try to quit in the middle of it.
  sim::RadioSimulator& StartSlowRadio(const std::vector<std::uint8_t>& image) {
    sim::RadioConfig slow;
    slow.expectedLength = static_cast<std::uint32_t>(image.size());
    slow.replyDelayUs = 1000;
    sim::RadioSimulator& radio = StartRadio(1, slow);
    modals.AnswerFileDialog(imageFolder.Write("dsp.out", image));
    return radio;
  }

  // Presses Update and waits until the image is on its way.
  bool StartUpdate() {
    ClickOn(Get<wxWindow>(IDC_UPDATE));
    return PumpUntil(
        [&] { return window->RadioLink().State().protocolState == ProtocolState::Sending; });
  }

  void FocusAndWait(wxWindow& control) {
    control.SetFocus();
    ASSERT_TRUE(PumpUntil([&] { return wxWindow::FindFocus() == &control; }));
  }

  testkit::TempDir imageFolder;
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
  const int result = RunModal([&] { ClickCloseBox(); });
  EXPECT_EQ(result, wxID_CANCEL);
  ExpectLinkStopped();
}

TEST_F(CloseTest, TheMenuCloseEntryGoesTheCloseBoxWay) {
  StartRadio(1);
  const int result = RunModal([&] { window->OnSysCommand(SC_CLOSE, 0); });
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
          return window->RadioLink().State().protocolState == ProtocolState::AwaitVersion1;
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

TEST_F(CloseTest, EveryWayOutDuringAnUpdateAsksFirstAndNoLetsItFinish) {
  const std::vector<std::uint8_t> image(4000, 0xA5);
  sim::RadioSimulator& radio = StartSlowRadio(image);
  const auto otherPort = [&] {
    // Down in the closed list picks the next port, COM2.
    FocusAndWait(Get<wxWindow>(IDC_PORT_LIST));
    PressKey(WXK_DOWN);
  };
  const std::vector<std::pair<std::function<void()>, std::string_view>> waysOut = {
      {[&] { ClickOn(Get<wxWindow>(wxID_OK)); }, MSG_QUIT_UNFINISHED},
      {[&] { PressKey(WXK_ESCAPE); }, MSG_QUIT_UNFINISHED},
      {[&] { ClickCloseBox(); }, MSG_QUIT_UNFINISHED},
      {[&] { window->OnSysCommand(SC_CLOSE, 0); }, MSG_QUIT_UNFINISHED},
      {otherPort, MSG_SWITCH_UNFINISHED},
  };
  const int result = RunModal([&] {
    if (!StartUpdate()) return;
    for (std::size_t way = 0; way < waysOut.size(); ++way) {
      SCOPED_TRACE(way);
      ASSERT_TRUE(window->RadioLink().Busy());
      modals.AnswerQuestion(wxID_NO);
      waysOut[way].first();
      ASSERT_TRUE(PumpUntil([&] { return modals.Questions().size() == way + 1; }));
      EXPECT_EQ(modals.Questions()[way].text, waysOut[way].second);
      EXPECT_TRUE(window->IsShown());
      // No keeps the transfer on the open port, and the list shows it.
      EXPECT_EQ(window->PortIndex(), 0);
      EXPECT_EQ(Get<wxComboBox>(IDC_PORT_LIST).GetSelection(), 0);
    }
    // The transfer carries on to its end; then End ends the window without a question.
    if (!PumpUntil([&] { return !modals.Messages().empty(); })) return;
    ClickOn(Get<wxWindow>(wxID_OK));
  });
  EXPECT_EQ(result, wxID_OK);
  ExpectLinkStopped();
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_COMPLETION)));
  ASSERT_EQ(modals.Questions().size(), waysOut.size());
  for (const MessageRecord& question : modals.Questions()) {
    EXPECT_EQ(question.caption, "");
    EXPECT_EQ(question.owner, window.get());
    EXPECT_TRUE(question.style & wxNO_DEFAULT);
    EXPECT_FALSE(question.style & (wxCANCEL | wxICON_QUESTION | wxICON_WARNING));
  }
  ASSERT_TRUE(radio.WaitImageOver(PATIENCE));
  EXPECT_EQ(radio.Image(), image);
  EXPECT_EQ(radio.Record().strayBytes, 0u);
}

// Yes to the question, and a signal, which asks nothing.
TEST_F(CloseTest, YesOrASignalStopsTheLinkInTheMiddleOfAnUpdate) {
  for (const bool signalled : {false, true}) {
    SCOPED_TRACE(signalled ? "signal" : "Esc, Yes");
    const std::vector<std::uint8_t> image(4000, 0xA5);
    sim::RadioSimulator& radio = StartSlowRadio(image);
    const int result = RunModal([&] {
      if (!StartUpdate()) return;
      if (signalled) {
        window->EndOnSignal();
      } else {
        modals.AnswerQuestion(wxID_YES);
        PressKey(WXK_ESCAPE);
      }
    });
    // Read at once: the pseudo-terminal, back in its own echoing mode, would now return the
    // radio's further bytes to it as if they came from the tool.
    EXPECT_LT(radio.Record().imageLength, image.size());
    EXPECT_EQ(result, wxID_CANCEL);
    ExpectLinkStopped();
    // Esc's question; the signal adds none.
    EXPECT_EQ(modals.Questions().size(), 1u);
    EXPECT_TRUE(modals.Messages().empty());
    radios.clear();
  }
}

}  // namespace
}  // namespace vannor::uitest
