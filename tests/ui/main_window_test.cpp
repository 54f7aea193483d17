// The main window's start: what it shows, which port it opens and what it says when it
// cannot; and the refusals that Update makes before anything goes to the radio.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/gauge.h>
#include <wx/msgdlg.h>

#include <cerrno>
#include <fstream>

#include "protocol/messages.h"
#include "res/dialog_templates.h"
#include "testing/captured_stderr.h"
#include "testing/temp_dir.h"
#include "tests/ui/window_fixture.h"

namespace vannor::uitest {
namespace {

using testing::ElementsAre;

class MainWindowTest : public WindowTest {};

TEST_F(MainWindowTest, StartsWithAllBoxesCheckedOnCom1AndEndFocused) {
  StartRadio(1);
  VannorDlg& dlg = ShowWindow();

  EXPECT_EQ(LabelOf(dlg), "Tavix-7");
  for (int box : {IDC_WRITE_DSP1, IDC_TAVIX3_DSP1, IDC_WRITE_DSP2, IDC_TAVIX3_DSP2}) {
    EXPECT_TRUE(Get<wxCheckBox>(box).GetValue()) << box;
  }
  auto& ports = Get<wxComboBox>(IDC_PORT_LIST);
  ASSERT_EQ(ports.GetCount(), 10u);
  for (unsigned i = 0; i < ports.GetCount(); ++i) {
    EXPECT_EQ(ports.GetString(i), wxString::Format("COM%u", i + 1));
  }
  EXPECT_EQ(ports.GetSelection(), 0);
  EXPECT_EQ(ports.GetValue(), "COM1");
  EXPECT_EQ(dlg.PortIndex(), 0);
  EXPECT_EQ(Get<wxGauge>(IDC_PROGRESS).GetValue(), 0);
  EXPECT_EQ(Get<wxGauge>(IDC_PROGRESS).GetRange(), 100);
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_PERCENT)), "0");
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP1)), "V00.00");
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)), "V00.00");
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_BANNER)),
            "\u3000Tavix for Corvane-7      V1.03            Ostrova");

  // COM1 is open and watched, and nothing was said about it.
  EXPECT_TRUE(dlg.SerialLine().PortUsable());
  EXPECT_TRUE(dlg.Watching());
  EXPECT_TRUE(modals.Messages().empty());

  // End has the focus and is the default button.
  EXPECT_TRUE(PumpUntil([&] { return wxWindow::FindFocus() == &Get<wxWindow>(wxID_OK); }));
  EXPECT_EQ(dlg.GetDefaultItem(), &Get<wxWindow>(wxID_OK));

  // The window carries the icon at 32 pixels among others, and cannot be resized.
  EXPECT_TRUE(dlg.GetIcons().GetIcon(32, wxIconBundle::FALLBACK_NONE).IsOk());
  EXPECT_GE(dlg.GetIcons().GetIconCount(), 2u);
  EXPECT_FALSE(dlg.HasFlag(wxRESIZE_BORDER));
  EXPECT_FALSE(dlg.HasFlag(wxMAXIMIZE_BOX));
  EXPECT_FALSE(dlg.HasFlag(wxMINIMIZE_BOX));
}

TEST_F(MainWindowTest, SaysTheComPortCannotBeUsedWhenCom1DoesNotOpen) {
  testkit::CapturedStderr errors;
  ASSERT_TRUE(errors.Ok());
  VannorDlg& dlg = ShowWindow();
  // The box keeps its words; standard error says why, for whoever supports the user.
  // A dangling link: the link and the device it names.
  EXPECT_EQ(errors.Text(), "vannor: COM1 (" + ports.ConfigHome() + "/vannor/ports/COM1 -> " +
                               ports.ConfigHome() + "/absent-device): No such file or directory\n");

  ASSERT_EQ(modals.Messages().size(), 1u);
  const MessageRecord& message = modals.Messages()[0];
  EXPECT_EQ(message.text, MSG_COM_PORT_UNUSABLE);
  EXPECT_EQ(message.text, "ＣＯＭポートは使えません");
  EXPECT_EQ(message.caption, "");
  EXPECT_EQ(message.owner, &dlg);
  EXPECT_TRUE(message.style & wxOK);
  EXPECT_TRUE(message.style & wxICON_NONE);
  EXPECT_FALSE(message.style & (wxCANCEL | wxYES_NO | wxICON_WARNING | wxICON_ERROR |
                                wxICON_INFORMATION | wxICON_QUESTION));

  // The window carries on with no port: COM1 still shown, and a later pick is watched.
  EXPECT_FALSE(window->SerialLine().PortUsable());
  EXPECT_EQ(Get<wxComboBox>(IDC_PORT_LIST).GetValue(), "COM1");
  EXPECT_EQ(dlg.PortIndex(), 0);
  EXPECT_TRUE(dlg.Watching());
  EXPECT_TRUE(dlg.IsShown());
}

TEST_F(MainWindowTest, UpdateWithBothWriteBoxesClearedSaysDspSelectError) {
  sim::RadioSimulator& radio = StartRadio(1);
  ShowWindow();

  // Clicked off as a person does; the Tavix3 boxes alone are no choice of DSP.
  ClickOn(Get<wxWindow>(IDC_WRITE_DSP1));
  ClickOn(Get<wxWindow>(IDC_WRITE_DSP2));
  ASSERT_TRUE(PumpUntil([&] {
    return !Get<wxCheckBox>(IDC_WRITE_DSP1).GetValue() &&
           !Get<wxCheckBox>(IDC_WRITE_DSP2).GetValue();
  }));
  ClickOn(Get<wxWindow>(IDC_UPDATE));
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));

  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_DSP_SELECT_ERROR)));
  EXPECT_EQ(modals.FileDialogsShown(), 0);
  EXPECT_TRUE(Get<wxCheckBox>(IDC_TAVIX3_DSP1).GetValue());
  EXPECT_TRUE(Get<wxCheckBox>(IDC_TAVIX3_DSP2).GetValue());
  EXPECT_EQ(window->RadioLink().State().commandIssued, 0);
  EXPECT_EQ(radio.Record().bytesReceived, 0u);
}

TEST_F(MainWindowTest, UpperCaseExtensionIsRefusedAndAVersionReadStillFollows) {
  sim::RadioSimulator& radio = StartRadio(1);
  testkit::TempDir folder;
  modals.AnswerFileDialog(folder.Write("dsp.OUT", {1, 2, 3}));
  ShowWindow();

  ClickOn(Get<wxWindow>(IDC_UPDATE));
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_FILE_ERROR)));
  EXPECT_EQ(modals.FileDialogsShown(), 1);
  EXPECT_EQ(window->RadioLink().State().protocolState, ProtocolState::Idle);

  // Nothing went out, so the run's first command is still to come.
  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] { return LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)) != "V00.00"; }));
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP1)), "V01.03");
  EXPECT_EQ(radio.Record().writeRequests, 0u);
  EXPECT_EQ(modals.Messages().size(), 1u);
}

TEST_F(MainWindowTest, AnImageStillBeingWrittenSaysFileOpenErrorAndSendsNothing) {
  sim::RadioSimulator& radio = StartRadio(1);
  testkit::TempDir folder;
  const std::string path = folder.Write("dsp.out", {1, 2, 3});
  std::ofstream writer(path, std::ios::binary | std::ios::app);  // another program writes it
  ASSERT_TRUE(writer.good());
  modals.AnswerFileDialog(path);
  ShowWindow();

  ClickOn(Get<wxWindow>(IDC_UPDATE));
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_FILE_OPEN_ERROR)));
  EXPECT_EQ(radio.Record().bytesReceived, 0u);
}

}  // namespace
}  // namespace vannor::uitest
