// Picking another port in the port list: the switch to a port that opens, and the fallback
// to the previous port when the chosen one does not.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <wx/combobox.h>
#include <wx/gauge.h>
#include <wx/uiaction.h>

#include "protocol/messages.h"
#include "serial/linux/linux_port.h"
#include "testing/captured_stderr.h"
#include "testing/images.h"
#include "testing/scoped_env.h"
#include "testing/temp_dir.h"
#include "tests/ui/window_fixture.h"

namespace vannor::uitest {
namespace {

// The descriptor of the port the window has open: a reopen of the same device gets a new one.
int OpenPortHandle(VannorDlg& dlg) {
  return static_cast<LinuxPort&>(dlg.SerialLine().Backend()).Handle();
}

using testing::ElementsAre;

class PortListTest : public WindowTest {
 protected:
  // What the list reports when the user picks item `index` from its drop-down.
  void PickPort(int index) {
    auto& list = Get<wxComboBox>(IDC_PORT_LIST);
    list.SetSelection(index);
    wxCommandEvent picked(wxEVT_COMBOBOX, IDC_PORT_LIST);
    picked.SetEventObject(&list);
    picked.SetInt(index);
    picked.SetString(list.GetString(static_cast<unsigned>(index)));
    list.ProcessWindowEvent(picked);
  }

  void ReadVersions() {
    ClickOn(Get<wxWindow>(IDC_VER_READ));
    ASSERT_TRUE(PumpUntil([&] { return LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)) != "V00.00"; }));
  }
};

TEST_F(PortListTest, PickingAnotherPortMovesTheLinkThere) {
  sim::RadioSimulator& first = StartRadio(1);
  sim::RadioConfig secondConfig;
  secondConfig.version[0] = 4;
  secondConfig.version[1] = 5;
  secondConfig.version[2] = 6;
  secondConfig.version[3] = 7;
  sim::RadioSimulator& second = StartRadio(2, secondConfig);
  testkit::ScopedEnv debug("VANNOR_DEBUG", "1");
  testkit::CapturedStderr errors;
  ASSERT_TRUE(errors.Ok());
  VannorDlg& dlg = ShowWindow();

  PickPort(1);
  EXPECT_EQ(dlg.PortIndex(), 1);
  EXPECT_TRUE(modals.Messages().empty());
  EXPECT_EQ(Get<wxComboBox>(IDC_PORT_LIST).GetValue(), "COM2");

  // The window now watches COM2: its radio's reply reaches the labels.
  ReadVersions();
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP1)), "V04.05");
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)), "V06.07");
  EXPECT_EQ(second.Record().versionRequests, 1u);
  EXPECT_EQ(first.Record().bytesReceived, 0u);
  // The trace names the port the exchange went through.
  EXPECT_EQ(errors.Text(), "vannor: COM2: request 0x56\nvannor: COM2: exchange complete\n");
}

TEST_F(PortListTest, APortThatDoesNotOpenFallsBackToThePreviousOne) {
  sim::RadioSimulator& radio = StartRadio(1);
  VannorDlg& dlg = ShowWindow();

  testkit::CapturedStderr errors;
  ASSERT_TRUE(errors.Ok());
  PickPort(2);  // COM3 leads nowhere
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_NOT_USE_COM_PORT)));
  EXPECT_EQ(errors.Text(), "vannor: COM3 (" + ports.ConfigHome() + "/vannor/ports/COM3 -> " +
                               ports.ConfigHome() + "/absent-device): No such file or directory\n");
  EXPECT_EQ(modals.Messages()[0].caption, "");
  EXPECT_EQ(dlg.PortIndex(), 0);
  EXPECT_EQ(Get<wxComboBox>(IDC_PORT_LIST).GetSelection(), 0);
  EXPECT_EQ(Get<wxComboBox>(IDC_PORT_LIST).GetValue(), "COM1");
  EXPECT_TRUE(dlg.SerialLine().PortUsable());

  // COM1 is open again and watched.
  ReadVersions();
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP1)), "V01.03");
  EXPECT_EQ(radio.Record().versionRequests, 1u);
}

// A Ver Read with no port open reaches no radio: it ends at its time-out, and the radio on the
// port picked next still gets the run's first request.
TEST_F(PortListTest, AVerReadThatReachedNoRadioLeavesTheFirstRequestToCome) {
  sim::RadioSimulator& radio = StartRadio(2);
  ShowWindow();  // COM1 leads nowhere
  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] { return modals.Messages().size() == 2; }));
  PickPort(1);
  ReadVersions();
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_COM_PORT_UNUSABLE),
                                                 std::string(MSG_COMMUNICATION_ERROR)));
  EXPECT_EQ(radio.Record().versionRequests, 1u);
}

TEST_F(PortListTest, TextTypedIntoTheFieldChangesNoPortAndGivesWayToTheOpenOne) {
  sim::RadioSimulator& radio = StartRadio(1);
  sim::RadioSimulator& other = StartRadio(9);
  VannorDlg& dlg = ShowWindow();
  const int before = OpenPortHandle(dlg);
  auto& list = Get<wxComboBox>(IDC_PORT_LIST);
  auto typeIntoField = [&] {
    list.SetFocus();
    ASSERT_TRUE(PumpUntil([&] { return wxWindow::FindFocus() == &list; }));
    list.SelectAll();
    TypeText("COM9");
    ASSERT_TRUE(PumpUntil([&] { return list.GetValue() == "COM9"; }));
  };

  typeIntoField();
  EXPECT_EQ(dlg.PortIndex(), 0);
  EXPECT_EQ(OpenPortHandle(dlg), before);
  EXPECT_TRUE(modals.Messages().empty());
  // Leaving the field puts the open port's name back.
  PressKey(WXK_TAB);
  ASSERT_TRUE(PumpUntil([&] { return wxWindow::FindFocus() != &list; }));
  EXPECT_EQ(list.GetValue().utf8_string(), "COM1");

  // A request with the focus still in the field: the field names the port it goes to.
  typeIntoField();
  auto& verRead = Get<wxWindow>(IDC_VER_READ);
  wxCommandEvent click(wxEVT_BUTTON, IDC_VER_READ);
  click.SetEventObject(&verRead);
  verRead.ProcessWindowEvent(click);
  EXPECT_EQ(list.GetValue().utf8_string(), "COM1");
  EXPECT_EQ(list.GetSelection(), 0);
  ASSERT_TRUE(PumpUntil([&] { return LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)) != "V00.00"; }));
  EXPECT_EQ(radio.Record().versionRequests, 1u);
  EXPECT_EQ(other.Record().bytesReceived, 0u);
  EXPECT_EQ(OpenPortHandle(dlg), before);
  EXPECT_TRUE(modals.Messages().empty());

  // Update too, before its file choice opens.
  typeIntoField();
  modals.CancelFileDialog();
  auto& update = Get<wxWindow>(IDC_UPDATE);
  wxCommandEvent updateClick(wxEVT_BUTTON, IDC_UPDATE);
  updateClick.SetEventObject(&update);
  update.ProcessWindowEvent(updateClick);
  EXPECT_EQ(modals.FileDialogsShown(), 1);
  EXPECT_EQ(list.GetValue().utf8_string(), "COM1");
  EXPECT_EQ(list.GetSelection(), 0);
}

// A pick while an exchange runs is never silent: during an Update every pick asks, the open
// port's included, and No lets it finish; Yes, and any pick during a version read, end it at
// once with the error, long before the time-out could.
TEST_F(PortListTest, APickDuringAnExchangeAsksOrEndsItAtOnce) {
  const std::vector<std::uint8_t> image(3000, 0x5A);
  sim::RadioConfig slow;
  slow.expectedLength = static_cast<std::uint32_t>(image.size());
  slow.replyDelayUs = 1000;
  sim::RadioSimulator& radio = StartRadio(1, slow);
  testkit::TempDir folder;
  const std::string path = folder.Write("dsp.out", image);
  testkit::CapturedStderr errors;
  ASSERT_TRUE(errors.Ok());
  VannorDlg& dlg = ShowWindow();
  const auto updatePastTenPercent = [&] {
    modals.AnswerFileDialog(path);
    ClickOn(Get<wxWindow>(IDC_UPDATE));
    return PumpUntil([&] {
      return dlg.RadioLink().State().protocolState == ProtocolState::Sending &&
             dlg.RadioLink().State().sendIndex >= image.size() / 10;
    });
  };

  ASSERT_TRUE(updatePastTenPercent());
  modals.AnswerQuestion(wxID_NO);
  PickPort(0);
  ASSERT_EQ(modals.Questions().size(), 1u);
  EXPECT_EQ(modals.Questions()[0].text,
            " The DSP will be left unfinished. Change the port anyway? ");
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(" Completion !!! "));
  ASSERT_TRUE(radio.WaitImageOver(PATIENCE));
  EXPECT_EQ(radio.Image(), image);

  ASSERT_TRUE(updatePastTenPercent());
  modals.AnswerQuestion(wxID_YES);
  const auto picked = std::chrono::steady_clock::now();
  PickPort(0);
  ASSERT_TRUE(PumpUntil([&] { return modals.Messages().size() == 2; }));
  EXPECT_EQ(modals.MessageTexts()[1], " Communication Error !!! ");
  EXPECT_LT(std::chrono::steady_clock::now() - picked, std::chrono::seconds(5));
  EXPECT_EQ(dlg.PortIndex(), 0);
  EXPECT_TRUE(dlg.SerialLine().PortUsable());
  EXPECT_FALSE(dlg.RadioLink().Busy());
  EXPECT_NE(
      errors.Text().find("vannor: COM1: port changed while awaiting the echo of an image byte"),
      std::string::npos);
}

TEST_F(PortListTest, APickDuringAVersionReadEndsItAtOnce) {
  sim::RadioConfig mute;
  mute.versionReplyLength = 0;
  StartRadio(1, mute);
  sim::RadioSimulator& second = StartRadio(2);
  VannorDlg& dlg = ShowWindow();
  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] { return dlg.RadioLink().Busy(); }));
  const auto picked = std::chrono::steady_clock::now();
  PickPort(1);
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(" Communication Error !!! "));
  EXPECT_LT(std::chrono::steady_clock::now() - picked, std::chrono::seconds(5));
  EXPECT_TRUE(modals.Questions().empty());
  EXPECT_EQ(dlg.PortIndex(), 1);
  // The ended read sends nothing on to the new port.
  EXPECT_EQ(second.Record().bytesReceived, 0u);
}

// A USB adapter pulled in the middle of an Update: the error comes from the port, not the time-out,
// with its cause on standard error; plugged back and picked again through the list itself (the
// open port's own row, with the keyboard), the next Update reaches the new device.
TEST_F(PortListTest, APulledAdapterIsToldAtOnceAndPickingItsPortAgainRevivesIt) {
  sim::RadioConfig pulled;
  pulled.expectedLength = 300;
  pulled.hangUpAt = 100;
  sim::RadioSimulator& radio = StartRadio(1, pulled);
  const std::vector<std::uint8_t> image = testkit::MakeImage(300);
  testkit::TempDir folder;
  const std::string path = folder.Write("dsp.out", image);
  modals.AnswerFileDialog(path);
  testkit::CapturedStderr errors;
  ASSERT_TRUE(errors.Ok());
  VannorDlg& dlg = ShowWindow();
  ClickOn(Get<wxWindow>(IDC_UPDATE));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(RESPONSE_TIMEOUT_MS));
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_COMMUNICATION_ERROR)));
  EXPECT_NE(
      errors.Text().find("vannor: COM1 (" + ports.ConfigHome() + "/vannor/ports/COM1 -> " +
                         radio.SlavePath() + "): the port went away; was the adapter unplugged?"),
      std::string::npos)
      << errors.Text();
  EXPECT_FALSE(dlg.SerialLine().PortUsable());  // the dead port is closed, not watched

  // Plugged back: a new device behind the same COM1 link.
  sim::RadioConfig sound;
  sound.expectedLength = 300;
  ASSERT_TRUE(radio.Start(sound));
  ASSERT_TRUE(radio.MapPort(ports.ConfigHome(), 1));
  auto& list = Get<wxComboBox>(IDC_PORT_LIST);
  list.SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return wxWindow::FindFocus() == &list; }));
  // The list's popup from its arrow, where the open port's row, COM1, is the one highlighted;
  // Enter picks it.
  wxUIActionSimulator input;
  const wxRect field = list.GetScreenRect();
  input.MouseMove(
      wxPoint(field.GetRight() - field.GetHeight() / 2, field.GetTop() + field.GetHeight() / 2));
  PumpFor(std::chrono::milliseconds(20));
  input.MouseClick();
  PumpFor(std::chrono::milliseconds(300));
  PressKey(WXK_RETURN);
  ASSERT_TRUE(PumpUntil([&] { return dlg.SerialLine().PortUsable(); }));
  EXPECT_EQ(dlg.PortIndex(), 0);
  EXPECT_EQ(list.GetValue().utf8_string(), "COM1");

  modals.AnswerFileDialog(path);
  ClickOn(Get<wxWindow>(IDC_UPDATE));
  ASSERT_TRUE(PumpUntil([&] { return modals.Messages().size() == 2; }));
  EXPECT_EQ(modals.MessageTexts()[1], MSG_COMPLETION);
  EXPECT_TRUE(radio.Image() == image);
}

}  // namespace
}  // namespace vannor::uitest
