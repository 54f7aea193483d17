// The real main window on wxMSW under Wine, against the radio simulator that vannor-wine-radio
// serves on a COM port of the test prefix; driven in-process, as a person would drive it, and
// the radio's record checked by vannor-wine-radio afterwards. Each test runs in a process of its
// own, with the radio its CMake entry sets up.
#include <windows.h>
// After windows.h.
#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/gauge.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "protocol/messages.h"
#include "res/resource.h"
#include "serial/adapter_latency.h"
#include "serial/port_links.h"
#include "testing/images.h"
#include "testing/temp_dir.h"
#include "testing/window_test_support.h"
#include "tests/ui/msw/win32_probe.h"
#include "ui/port_links_dlg.h"
#include "ui/vannor_dlg.h"

namespace vannor::uitest {
namespace {

class WineWindow : public testing::Test {
 protected:
  void TearDown() override {
    // The window first: its stop sequence closes the port.
    window.reset();
    EXPECT_TRUE(modals.AllFileAnswersUsed());
  }

  // Creates the window and shows it, which initialises it, and waits until it is on screen.
  VannorDlg& ShowWindow() {
    window = std::make_unique<VannorDlg>();
    window->Show();
    EXPECT_TRUE(PumpUntil([&] { return Get<wxWindow>(wxID_OK).IsShownOnScreen(); }));
    return *window;
  }

  template <typename Control>
  Control& Get(int id) {
    auto* control = dynamic_cast<Control*>(window->FindWindow(id));
    if (control == nullptr) ADD_FAILURE() << "no control " << id << " of the expected kind";
    return *control;
  }

  void* Handle() const { return window->GetHWND(); }

  ModalRecorder modals;
  std::unique_ptr<VannorDlg> window;
};

// Runs the toolkit's events until the exchange in progress has ended with a box: false only when
// it stopped moving (no byte confirmed) for longer than the engine's own time-out and the box
// that must then follow, however slowly the machine lets it move.
bool PumpUntilTheExchangeEnds(const ModalRecorder& modals, const VannorDlg& window) {
  constexpr auto STALL = std::chrono::seconds(15);
  const std::size_t shown = modals.Messages().size();
  std::uint32_t confirmed = window.RadioLink().State().sendIndex;
  for (;;) {
    if (PumpUntil([&] { return modals.Messages().size() > shown; }, STALL)) return true;
    if (window.RadioLink().State().sendIndex == confirmed) return false;
    confirmed = window.RadioLink().State().sendIndex;
  }
}

// A file in the folder that vannor-wine-radio shares with this program; its full path.
std::string ShareFile(const std::string& name, const testkit::Bytes& bytes) {
  const char* folder = std::getenv("VANNOR_RADIO_FOLDER");
  if (folder == nullptr) return std::string();
  const std::string path = std::string(folder) + "\\" + name;
  std::ofstream out(testkit::PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return out.good() ? path : std::string();
}

// Run with --length 300 --check-image "DSPイメージ.out" --check-mask 9.
TEST_F(WineWindow, VerReadThenUpdateEndToEnd) {
  // The driver keeps a 16 ms latency timer for COM1's adapter: the window tells so before the
  // write, and writes all the same.
  ASSERT_TRUE(SetFtdiLatencyTimer(1, 16));
  ShowWindow();
  RemoveFtdiLatencyTimer();
  // COM1 opened: no message at start.
  EXPECT_TRUE(modals.Messages().empty());

  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] { return LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)) != "V00.00"; }));
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP1)), "V01.03");
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)), "V02.00");

  // A Japanese name: the path crosses the toolkit and the file API unchanged.
  const std::string path = ShareFile("DSPイメージ.out", testkit::MakeImage(300));
  ASSERT_FALSE(path.empty());
  modals.AnswerFileDialog(path);
  // DSP1 Write and DSP2 Tavix3 only: the mask 0x09.
  ClickOn(Get<wxWindow>(IDC_TAVIX3_DSP1));
  ClickOn(Get<wxWindow>(IDC_WRITE_DSP2));
  ASSERT_TRUE(PumpUntil([&] {
    return !Get<wxCheckBox>(IDC_TAVIX3_DSP1).GetValue() &&
           !Get<wxCheckBox>(IDC_WRITE_DSP2).GetValue();
  }));
  CapturedStderr errors;
  ClickOn(Get<wxWindow>(IDC_UPDATE));
  ASSERT_TRUE(PumpUntilTheExchangeEnds(modals, *window));
  ASSERT_EQ(modals.MessageTexts(), std::vector<std::string>{std::string(MSG_COMPLETION)});
  EXPECT_EQ(errors.Text(), "vannor: COM1 (\\\\.\\COM1): " + SlowAdapterNote(16, 300) + "\n");
  EXPECT_EQ(modals.Messages()[0].caption, "");
  EXPECT_EQ(modals.Messages()[0].owner, window.get());
  EXPECT_EQ(Get<wxGauge>(IDC_PROGRESS).GetValue(), 100);
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_PERCENT)), "100");
  EXPECT_EQ(window->RadioLink().State().protocolState, ProtocolState::Idle);
}

TEST_F(WineWindow, TheSystemMenuEndsWithTheAboutEntry) {
  ShowWindow();
  const std::vector<MenuEntry> entries = SystemMenuEntries(Handle());
  ASSERT_GE(entries.size(), 3u);
  EXPECT_EQ(entries[entries.size() - 3].command, static_cast<unsigned>(res::MENU_PORT_LINKS));
  EXPECT_EQ(entries[entries.size() - 3].text, "COM ﾎﾟｰﾄの設定(&P)...");
  EXPECT_TRUE(entries[entries.size() - 2].separator);
  EXPECT_EQ(entries.back().command, res::IDM_ABOUTBOX);
  EXPECT_EQ(entries.back().text, res::IDS_ABOUT_ITEM_TEXT);
  // No stand-in context menu where the real one exists.
  EXPECT_EQ(window->SystemMenu(), nullptr);

  // The entry's command, with low bits the system may set, opens the About box; the system's
  // own commands keep their meaning.
  modals.ExpectAboutBox();
  SendSystemCommand(Handle(), res::IDM_ABOUTBOX | 0x3);
  ASSERT_EQ(modals.AboutBoxes().size(), 1u);
  const AboutRecord& about = modals.AboutBoxes().back();
  EXPECT_EQ(about.caption, "Vannorのﾊﾞｰｼﾞｮﾝ情報");
  ASSERT_FALSE(about.labels.empty());
  EXPECT_EQ(about.labels[0], "Vannor Version 1.0");
  EXPECT_TRUE(about.hasIcon);
  EXPECT_TRUE(about.hasOkButton);
  EXPECT_TRUE(window->IsShown());
}

TEST_F(WineWindow, FaceAndIconsAreTheResources) {
  ShowWindow();
  // Asked for by name; Windows (here Wine's replacement table) substitutes where it is missing.
  EXPECT_EQ(window->GetFont().GetFaceName().utf8_string(), "ＭＳ Ｐゴシック");
  EXPECT_EQ(window->GetFont().GetPointSize(), 9);
  EXPECT_TRUE(HasBothIcons(Handle()));
  // Every control lies inside the window's face: nothing is cut off at its edges.
  const wxRect face(window->GetClientSize());
  for (const wxWindow* child : window->GetChildren()) {
    EXPECT_TRUE(face.Contains(child->GetRect())) << LabelOf(*child);
  }
}

TEST_F(WineWindow, EndRunsTheStopSequenceBeforeTheWindowEnds) {
  VannorDlg& dlg = ShowWindow();
  ASSERT_TRUE(dlg.Watching());
  EXPECT_FALSE(PortIsFree("\\\\.\\COM1"));
  ClickOn(Get<wxWindow>(wxID_OK));
  ASSERT_TRUE(PumpUntil([&] { return !dlg.IsShown(); }));
  EXPECT_FALSE(dlg.Watching());
  EXPECT_TRUE(PortIsFree("\\\\.\\COM1"));
}

// Run with --version-bytes 0: the radio never answers. The timer's expiry at the deadline is lost
// on its way to the window; another follows, and the silent radio is told as ever.
TEST_F(WineWindow, ALostResponseTimerExpiryIsFollowedByAnother) {
  ShowWindow();
  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] {
    return window->RadioLink().State().protocolState == ProtocolState::AwaitVersion1 &&
           !window->RadioLink().AwaitingQuietLine();
  }));
  window->RadioHost().LoseNextTimerExpiry();
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  EXPECT_EQ(modals.MessageTexts(), std::vector<std::string>{std::string(MSG_COMMUNICATION_ERROR)});
}

// Run with --com 2: COM1 leads nowhere.
TEST_F(WineWindow, WithoutCom1ItSaysSoAndAnotherPortCanBeChosen) {
  ShowWindow();
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  ASSERT_EQ(modals.MessageTexts(), std::vector<std::string>{std::string(MSG_COM_PORT_UNUSABLE)});
  EXPECT_EQ(modals.Messages()[0].owner, window.get());

  // The user picks COM2 in the list.
  wxComboBox& ports = Get<wxComboBox>(IDC_PORT_LIST);
  ports.SetSelection(1);
  wxCommandEvent picked(wxEVT_COMBOBOX, IDC_PORT_LIST);
  picked.SetInt(1);
  ports.GetEventHandler()->ProcessEvent(picked);
  EXPECT_EQ(window->PortIndex(), 1);
  EXPECT_EQ(modals.Messages().size(), 1u);

  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] { return LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)) != "V00.00"; }));
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP1)), "V01.03");
}

// Run with --com 17 --length 1024 --check-image com17.out --check-mask 15: the radio's adapter is
// COM17, which the port list does not name. The COM ports dialog of the system menu links COM3
// to it, and COM3 then reaches the radio, without a restart.
TEST_F(WineWindow, TheComPortsDialogLinksCom3ToCom17) {
  ASSERT_EQ(RemovePortLink(2).failure, PortLinkFailure::None);
  // Wine lists its serial ports once, at its start: COM17, mapped since, as Windows' driver
  // would list it.
  const wchar_t* serialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, serialComm, L"\\Device\\VannorTest17", REG_SZ,
                            L"COM17", sizeof L"COM17"),
            ERROR_SUCCESS);
  ShowWindow();
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));  // COM1 leads nowhere
  std::vector<std::string> items;
  modals.AnswerDialogNamed(PortLinksDlg::NAME, [&](wxDialog& shown) {
    auto& dialog = dynamic_cast<PortLinksDlg&>(shown);
    wxChoice& choice = dialog.ChoiceFor(2);
    for (int item = 0; item < static_cast<int>(choice.GetCount()); ++item) {
      items.push_back(choice.GetString(item).utf8_string());
      if (dialog.TargetOf(2, item) == "COM17") choice.SetSelection(item);
    }
    return wxID_OK;
  });
  SendSystemCommand(Handle(), res::MENU_PORT_LINKS);
  ASSERT_TRUE(PumpUntil([&] { return modals.AllDialogAnswersUsed(); }));
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items[0], "default (COM3)");
  EXPECT_NE(std::find(items.begin(), items.end(), "COM17"), items.end());
  EXPECT_EQ(ResolvePort(2).path, "\\\\.\\COM17");

  // The user picks COM3 in the list.
  wxComboBox& ports = Get<wxComboBox>(IDC_PORT_LIST);
  ports.SetSelection(2);
  wxCommandEvent picked(wxEVT_COMBOBOX, IDC_PORT_LIST);
  picked.SetInt(2);
  ports.GetEventHandler()->ProcessEvent(picked);
  ASSERT_EQ(window->PortIndex(), 2);
  EXPECT_EQ(ports.GetToolTipText().utf8_string(), "COM3: COM17");

  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] { return LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)) != "V00.00"; }));
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP1)), "V01.03");
  const std::string path = ShareFile("com17.out", testkit::MakeImage(4096));
  ASSERT_FALSE(path.empty());
  modals.AnswerFileDialog(path);
  EXPECT_TRUE(SystemMenuEntryEnabled(Handle(), res::MENU_PORT_LINKS));
  ClickOn(Get<wxWindow>(IDC_UPDATE));
  ASSERT_TRUE(PumpUntil([&] { return window->RadioLink().Busy(); }));
  // Greyed while the image is on its way.
  EXPECT_FALSE(SystemMenuEntryEnabled(Handle(), res::MENU_PORT_LINKS));
  ASSERT_TRUE(PumpUntilTheExchangeEnds(modals, *window));
  EXPECT_EQ(modals.MessageTexts().back(), std::string(MSG_COMPLETION));
  EXPECT_EQ(RemovePortLink(2).failure, PortLinkFailure::None);
  (void)RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, serialComm, L"\\Device\\VannorTest17");
}

}  // namespace
}  // namespace vannor::uitest

namespace vannor::uitest {
namespace {

// A mouse click at a point of the screen, as a person gives it.
void ClickAt(int x, int y) {
  wxUIActionSimulator input;
  input.MouseMove(x, y);
  PumpFor(std::chrono::milliseconds(20));
  input.MouseClick();
}

// The list's own row for the open port, picked with the mouse: Windows tells no change for the
// row already chosen, yet a re-plugged adapter needs the port opened again.
TEST_F(WineWindow, PickingTheOpenPortAgainInTheListReopensIt) {
  VannorDlg& dlg = ShowWindow();
  ASSERT_TRUE(dlg.SerialLine().PortUsable());
  const std::uint32_t opened = PortGeneration(dlg.SerialLine());
  wxComboBox& ports = Get<wxComboBox>(IDC_PORT_LIST);
  int x = 0, y = 0;
  ASSERT_TRUE(ComboButtonPoint(ports.GetHWND(), x, y));
  ClickAt(x, y);
  ASSERT_TRUE(PumpUntil([&] { return ComboDropped(ports.GetHWND()); }));
  ASSERT_TRUE(ComboRowPoint(ports.GetHWND(), 0, x, y));
  ClickAt(x, y);
  ASSERT_TRUE(PumpUntil([&] { return PortGeneration(dlg.SerialLine()) != opened; }));
  EXPECT_TRUE(dlg.SerialLine().PortUsable());
  EXPECT_EQ(dlg.PortIndex(), 0);
  EXPECT_EQ(ports.GetValue(), "COM1");
  EXPECT_TRUE(modals.Messages().empty());
  // The reopened port is watched: the radio's reply reaches the labels.
  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] { return LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)) != "V00.00"; }));

  // A list closed without a pick opens nothing and shows the open port.
  const std::uint32_t reopened = PortGeneration(dlg.SerialLine());
  ASSERT_TRUE(ComboButtonPoint(ports.GetHWND(), x, y));
  ClickAt(x, y);
  ASSERT_TRUE(PumpUntil([&] { return ComboDropped(ports.GetHWND()); }));
  PressKey(WXK_ESCAPE);
  ASSERT_TRUE(PumpUntil([&] { return !ComboDropped(ports.GetHWND()); }));
  PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(PortGeneration(dlg.SerialLine()), reopened);
  EXPECT_EQ(ports.GetSelection(), 0);
  EXPECT_EQ(ports.GetValue(), "COM1");
}

}  // namespace
}  // namespace vannor::uitest
