// The window's way to a USB adapter without a terminal: the COM ports entry of its menu, the link
// OK writes and the port reopened at once, the port list's tooltip, and the entry withheld while
// the radio is being talked to. The adapters live in a /dev and /sys of the test's own, each
// leading to a radio simulator's pseudo-terminal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/menu.h>
#include <wx/stattext.h>

#include <filesystem>
#include <fstream>

#include "protocol/messages.h"
#include "res/resource.h"
#include "testing/counting_backend.h"
#include "testing/posix/fake_serial_tree.h"
#include "testing/program.h"
#include "tests/ui/window_fixture.h"
#include "ui/port_links_dlg.h"

namespace vannor::uitest {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;

// The machine's own ports (a new user's COM1 is /dev/ttyS0) stay untouched: they do not open.
class MachinePortsRefused final : public testkit::CountingBackend {
 public:
  bool Open(const std::string& device, OpenFailure& failure) override {
    if (!device.starts_with("/dev/")) return CountingBackend::Open(device, failure);
    failure = OpenFailure{.device = device, .reason = "not opened by the tests"};
    return false;
  }
};

class PortLinksWindowTest : public WindowTest {
 protected:
  // A user who has never made a link.
  void SetUp() override {
    WindowTest::SetUp();
    fs::remove_all(ports.ConfigHome() + "/vannor");
    ASSERT_TRUE(tree.Ok());
  }

  VannorDlg& ShowNewUsersWindow() {
    window = std::make_unique<VannorDlg>(std::make_unique<MachinePortsRefused>());
    window->PortLinks().UseDeviceRoots(tree.Roots());
    window->Show();
    EXPECT_TRUE(PumpUntil([&] { return Get<wxWindow>(wxID_OK).IsShownOnScreen(); }));
    return *window;
  }

  // Opens the window's menu with a right click and chooses its COM ports entry from the
  // keyboard; `enabled` learns whether the entry could be chosen (Esc closes the menu if not).
  void ChooseComPortsEntry(bool* enabled = nullptr) {
    wxMenu& menu = *window->SystemMenu();
    bool closed = false;
    auto onOpen = [&](wxMenuEvent& event) {
      const bool offered = menu.IsEnabled(res::MENU_PORT_LINKS);
      if (enabled != nullptr) *enabled = offered;
      window->CallAfter([offered] {
        if (!offered) return PressKey(WXK_ESCAPE);
        PressKey(WXK_DOWN);
        PressKey(WXK_DOWN);
        PressKey(WXK_RETURN);
      });
      event.Skip();
    };
    auto onClose = [&](wxMenuEvent& event) {
      closed = true;
      event.Skip();
    };
    menu.Bind(wxEVT_MENU_OPEN, onOpen);
    menu.Bind(wxEVT_MENU_CLOSE, onClose);
    wxWindow& percent = Get<wxWindow>(IDC_PERCENT);
    RightClickAt(percent.GetScreenRect().GetBottomLeft() + wxPoint(0, 20));
    EXPECT_TRUE(PumpUntil([&] { return closed; }));
    menu.Unbind(wxEVT_MENU_CLOSE, onClose);
    menu.Unbind(wxEVT_MENU_OPEN, onOpen);
  }

  // The dialog, when it opens, gets `device` chosen for the ports at `indexes`, and OK.
  void AnswerDialogChoosing(std::vector<int> indexes, const std::string& device) {
    modals.AnswerDialogNamed(PortLinksDlg::NAME, [indexes, device](wxDialog& shown) {
      auto& dialog = dynamic_cast<PortLinksDlg&>(shown);
      for (const int index : indexes) {
        wxChoice& choice = dialog.ChoiceFor(index);
        for (int item = 0; item < static_cast<int>(choice.GetCount()); ++item) {
          if (dialog.TargetOf(index, item) == device) choice.SetSelection(item);
        }
        EXPECT_EQ(dialog.TargetOf(index, choice.GetSelection()), device);
      }
      return wxID_OK;
    });
  }

  std::string Tip() { return Get<wxComboBox>(IDC_PORT_LIST).GetToolTipText().utf8_string(); }

  // Links COM1 to `device` as vannor-cli map does: a new link renamed over the old one.
  void MapCom1(const std::string& device) {
    const std::string link = ports.ConfigHome() + "/vannor/ports/COM1";
    fs::create_directories(fs::path(link).parent_path());
    fs::create_symlink(device, link + ".new");
    fs::rename(link + ".new", link);
  }

  // DSP1's version after a Ver Read, once it has changed (the radios here differ in it).
  std::string VersionRead() {
    const std::string before = LabelOf(Get<wxWindow>(IDC_VERSION_DSP1));
    ClickOn(Get<wxWindow>(IDC_VER_READ));
    EXPECT_TRUE(PumpUntil([&] { return LabelOf(Get<wxWindow>(IDC_VERSION_DSP1)) != before; }));
    return LabelOf(Get<wxWindow>(IDC_VERSION_DSP1));
  }

  testkit::FakeSerialTree tree;
};

TEST_F(PortLinksWindowTest, ANewUserLinksCom1ToTheAdapterFromTheMenuAndReadsAtOnce) {
  sim::RadioSimulator radio;
  ASSERT_TRUE(radio.Start({}));
  const std::string adapter = tree.AddUsb({.maker = "FTDI",
                                           .product = "FT232R USB UART",
                                           .serialNumber = "A9XYZ",
                                           .latencyTimerMs = 16,
                                           .byId = "usb-FTDI_FT232R_USB_UART_A9XYZ-if00-port0",
                                           .opens = radio.SlavePath()});
  ASSERT_TRUE(tree.Ok());
  VannorDlg& dlg = ShowNewUsersWindow();
  // COM1 leads to /dev/ttyS0, which has no radio.
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_COM_PORT_UNUSABLE)));
  EXPECT_EQ(Tip(), "COM1: /dev/ttyS0 (default)");

  AnswerDialogChoosing({0}, adapter);
  ChooseComPortsEntry();
  ASSERT_TRUE(PumpUntil([&] { return modals.AllDialogAnswersUsed(); }));
  ASSERT_TRUE(PumpUntil([&] { return dlg.SerialLine().PortUsable(); }));
  EXPECT_EQ(dlg.PortIndex(), 0);

  // No restart: the next Ver Read goes to the adapter's radio.
  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] { return LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)) != "V00.00"; }));
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP1)), "V01.03");
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)), "V02.00");
  EXPECT_EQ(radio.Record().versionRequests, 1u);
  EXPECT_EQ(modals.Messages().size(), 1u);

  // The link is the one vannor-cli knows.
  const std::string link = ports.ConfigHome() + "/vannor/ports/COM1";
  EXPECT_EQ(fs::read_symlink(link), adapter);
  const testkit::ProgramResult listed = testkit::RunProgram(VANNOR_CLI_PROGRAM, {"ports"});
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_NE(listed.out.find("  COM1  -> " + adapter + "\n"), std::string::npos) << listed.out;

  EXPECT_EQ(Tip(),
            "COM1: " + adapter +
                "\nftdi_sio: FTDI FT232R USB UART, serial number A9XYZ, latency timer 16 ms");
}

// Never during an exchange: the entry waits until the radio's answer (here none) has ended it.
TEST_F(PortLinksWindowTest, TheEntryIsNotOfferedWhileTheRadioIsTalkedTo) {
  sim::RadioConfig silent;
  silent.versionReplyLength = 0;
  StartRadio(1, silent);
  VannorDlg& dlg = ShowWindow();
  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] { return dlg.RadioLink().Busy(); }));
  bool offered = true;
  ChooseComPortsEntry(&offered);
  EXPECT_FALSE(offered);

  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_COMMUNICATION_ERROR)));
  modals.AnswerDialogNamed(PortLinksDlg::NAME, [](wxDialog&) { return wxID_CANCEL; });
  ChooseComPortsEntry(&offered);
  EXPECT_TRUE(offered);
  EXPECT_TRUE(PumpUntil([&] { return modals.AllDialogAnswersUsed(); }));
}

TEST_F(PortLinksWindowTest, LinksThatCannotBeWrittenAreToldAndTheOpenPortStays) {
  const std::string adapter = tree.AddUsb({.byId = "usb-Adapter-if00-port0"});
  ASSERT_TRUE(tree.Ok());
  std::ofstream(ports.ConfigHome() + "/vannor") << "";
  ShowNewUsersWindow();
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));

  AnswerDialogChoosing({1, 9}, adapter);
  ChooseComPortsEntry();
  ASSERT_TRUE(PumpUntil([&] { return modals.Messages().size() == 2; }));
  const std::string folder = ports.ConfigHome() + "/vannor/ports";
  EXPECT_EQ(modals.Messages()[1].text,
            " COM2: " + folder + ": Not a directory \n COM10: " + folder + ": Not a directory ");
  EXPECT_EQ(modals.Messages()[1].caption, "");
  // COM1 is not taken for /dev/ttyS0 either: its link may be in the folder that cannot be read.
  EXPECT_EQ(Tip(), "COM1: cannot be used: " + folder + ": Not a directory");
}

// COM1 open on radio A while vannor-cli links it to radio B: A stays in use, and the tooltip and
// the dialog say so, until the port is picked again; OK of the dialog is such a pick.
TEST_F(PortLinksWindowTest, ALinkChangedBehindTheWindowsBackWaitsForTheNextPick) {
  sim::RadioSimulator radioA, radioB;
  sim::RadioConfig versionB;
  versionB.version[0] = 2;
  versionB.version[1] = 1;
  ASSERT_TRUE(radioA.Start({}));
  ASSERT_TRUE(radioB.Start(versionB));
  const std::string adapterA = tree.AddUsb({.name = "ttyUSB0", .opens = radioA.SlavePath()});
  const std::string adapterB = tree.AddUsb({.name = "ttyUSB1", .opens = radioB.SlavePath()});
  ASSERT_TRUE(tree.Ok());
  MapCom1(adapterA);
  VannorDlg& dlg = ShowNewUsersWindow();
  ASSERT_TRUE(dlg.SerialLine().PortUsable());

  MapCom1(adapterB);
  dlg.PortLinks().ShowTip();
  EXPECT_EQ(Tip(), "COM1: " + adapterA +
                       "\nftdi_sio: USB device 0403:6001\nFrom the next pick of COM1: " + adapterB);
  EXPECT_EQ(dlg.SerialLine().OpenedPort().linkTarget, adapterA);

  std::string opensNow;
  modals.AnswerDialogNamed(PortLinksDlg::NAME, [&](wxDialog& shown) {
    for (const wxWindow* child : shown.GetChildren()) {
      if (dynamic_cast<const wxStaticText*>(child) != nullptr && LabelOf(*child) == adapterA) {
        opensNow = adapterA;
      }
    }
    return wxID_OK;
  });
  ChooseComPortsEntry();
  ASSERT_TRUE(PumpUntil([&] { return modals.AllDialogAnswersUsed(); }));
  EXPECT_EQ(opensNow, adapterA);
  EXPECT_EQ(VersionRead(), "V02.01");
  EXPECT_EQ(radioB.Record().versionRequests, 1u);
  EXPECT_EQ(Tip(), "COM1: " + adapterB + "\nftdi_sio: USB device 0403:6001");
  EXPECT_TRUE(modals.Messages().empty());
}

// A row whose device is gone by OK is told in the dialog and not written; one that passes the
// check but does not open leaves the port used before open, as a failed pick does.
TEST_F(PortLinksWindowTest, ARowThatWouldNotOpenIsToldAndTheOpenPortStays) {
  sim::RadioSimulator radio;
  ASSERT_TRUE(radio.Start({}));
  const std::string adapter = tree.AddUsb({.name = "ttyUSB0", .opens = radio.SlavePath()});
  const std::string unplugged = tree.AddUsb({.name = "ttyUSB1", .byId = "usb-Unplugged"});
  const std::string noLine = tree.AddUsb({.name = "ttyUSB2"});  // a file: not a terminal
  ASSERT_TRUE(tree.Ok());
  MapCom1(adapter);
  VannorDlg& dlg = ShowNewUsersWindow();
  ASSERT_TRUE(dlg.SerialLine().PortUsable());

  std::string told;
  modals.AnswerDialogNamed(PortLinksDlg::NAME, [&](wxDialog& shown) {
    auto& dialog = dynamic_cast<PortLinksDlg&>(shown);
    for (int item = 0; item < static_cast<int>(dialog.ChoiceFor(0).GetCount()); ++item) {
      if (dialog.TargetOf(0, item) == unplugged) dialog.ChoiceFor(0).SetSelection(item);
    }
    fs::remove(unplugged);
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    dialog.ProcessWindowEvent(ok);
    told = LabelOf(dialog.RefusalText());
    return wxID_CANCEL;
  });
  ChooseComPortsEntry();
  ASSERT_TRUE(PumpUntil([&] { return modals.AllDialogAnswersUsed(); }));
  EXPECT_EQ(told, " COM1: " + unplugged + ": missing (unplugged?) ");
  EXPECT_EQ(fs::read_symlink(ports.ConfigHome() + "/vannor/ports/COM1"), adapter);

  AnswerDialogChoosing({0}, noLine);
  wxCommandEvent entry(wxEVT_MENU, res::MENU_PORT_LINKS);
  dlg.ProcessWindowEvent(entry);
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_NOT_USE_COM_PORT)));
  EXPECT_TRUE(dlg.SerialLine().PortUsable());
  EXPECT_EQ(VersionRead(), "V01.03");
  EXPECT_EQ(radio.Record().versionRequests, 1u);
  EXPECT_EQ(Tip(), "COM1: " + adapter +
                       "\nftdi_sio: USB device 0403:6001\nFrom the next pick of COM1: " + noLine);
}

}  // namespace
}  // namespace vannor::uitest
