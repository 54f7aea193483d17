// The COM ports dialog on its own, on a display: what each port opens now, the devices offered
// (from a /dev and /sys of the test's own), and the links OK writes and Cancel leaves.
#include "ui/port_links_dlg.h"

#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/frame.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <algorithm>
#include <filesystem>

#include "testing/posix/fake_serial_tree.h"
#include "testing/window_test_support.h"
#include "ui/port_links_menu.h"

namespace vannor::uitest {
namespace {

namespace fs = std::filesystem;

class PortLinksDlgTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tree.Ok()); }

  std::string Link(int index) const {
    return config.Path() + "/vannor/ports/COM" + std::to_string(index + 1);
  }
  void MakeLink(int index, const std::string& target) const {
    fs::create_directories(fs::path(Link(index)).parent_path());
    fs::create_symlink(target, Link(index));
  }
  static int ItemLeadingTo(const PortLinksDlg& dialog, int index, const std::string& target) {
    for (int item = 0; item < static_cast<int>(dialog.ChoiceFor(index).GetCount()); ++item) {
      if (dialog.TargetOf(index, item) == target) return item;
    }
    return wxNOT_FOUND;
  }
  static std::vector<std::string> Texts(const wxWindow& dialog) {
    std::vector<std::string> texts;
    for (const wxWindow* child : dialog.GetChildren()) {
      if (dynamic_cast<const wxStaticText*>(child) != nullptr) texts.push_back(LabelOf(*child));
    }
    return texts;
  }
  // Runs the dialog modally as the window does, with `drive` working it as the user would once it
  // is up; a dialog still open after PATIENCE is ended, so that a fault cannot hang the run.
  PortLinksEdit EditDriven(std::function<void(PortLinksDlg&)> drive) {
    return EditPortLinks(owner, tree.Roots(), OpenPortNow{}, [&](wxDialog& dialog) {
      wxTimer watchdog;
      watchdog.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { dialog.EndModal(wxID_ABORT); });
      watchdog.StartOnce(static_cast<int>(PATIENCE.count() * 1000));
      dialog.CallAfter([&] {
        EXPECT_TRUE(PumpUntil([&] { return dialog.IsShownOnScreen(); }));
        drive(dynamic_cast<PortLinksDlg&>(dialog));
      });
      const int result = dialog.ShowModal();
      EXPECT_NE(result, wxID_ABORT) << "the dialog was not closed";
      return result;
    });
  }

  testkit::TempDir config;
  testkit::ScopedEnv configHome{"XDG_CONFIG_HOME", config.Path().c_str()};
  testkit::FakeSerialTree tree;
  wxFrame owner{nullptr, wxID_ANY, "owner"};
};

TEST_F(PortLinksDlgTest, ShowsWhereEachPortLeadsAndWritesOnlyWhatChanged) {
  const std::string adapter = tree.AddUsb({.name = "ttyUSB0",
                                           .maker = "FTDI",
                                           .product = "FT232R USB UART",
                                           .serialNumber = "A9XYZ",
                                           .latencyTimerMs = 16,
                                           .byId = "usb-FTDI_FT232R_USB_UART_A9XYZ-if00-port0"});
  const std::string uart = tree.AddUart({.name = "ttyS1", .portType = 4, .rxTriggerBytes = 1});
  ASSERT_TRUE(tree.Ok());
  MakeLink(0, adapter);
  MakeLink(1, config.Path() + "/unplugged");

  PortLinksDlg dialog(&owner, tree.Roots(), OpenPortNow{});
  dialog.Show();
  ASSERT_TRUE(PumpUntil([&] { return dialog.IsShownOnScreen(); }));
  const std::vector<std::string> texts = Texts(dialog);
  for (const std::string& shown : {adapter, config.Path() + "/unplugged (not connected)",
                                   std::string("/dev/ttyS2 (default)")}) {
    EXPECT_NE(std::find(texts.begin(), texts.end(), shown), texts.end()) << shown;
  }
  EXPECT_EQ(dialog.ChoiceFor(0).GetStringSelection().utf8_string(),
            "ttyUSB0 \u2014 ftdi_sio: FTDI FT232R USB UART, serial number A9XYZ, latency timer "
            "16 ms");
  // The link to what is not there stays a choice of its own; the default names its device.
  EXPECT_EQ(dialog.ChoiceFor(1).GetStringSelection().utf8_string(),
            config.Path() + "/unplugged (not connected)");
  EXPECT_EQ(dialog.ChoiceFor(1).GetCount(), 4u);
  EXPECT_EQ(dialog.ChoiceFor(2).GetStringSelection().utf8_string(), "default (/dev/ttyS2)");
  EXPECT_EQ(dialog.ChoiceFor(2).GetCount(), 3u);

  EXPECT_TRUE(dialog.Apply().changed.empty());
  dialog.ChoiceFor(0).SetSelection(0);
  dialog.ChoiceFor(2).SetSelection(ItemLeadingTo(dialog, 2, uart));
  const PortLinksDlg::Written written = dialog.Apply();
  EXPECT_EQ(written.changed, (std::vector<int>{0, 2}));
  EXPECT_EQ(written.failures, "");
  EXPECT_FALSE(fs::is_symlink(Link(0)));
  EXPECT_EQ(fs::read_symlink(Link(1)), config.Path() + "/unplugged");
  EXPECT_EQ(fs::read_symlink(Link(2)), uart);
}

TEST_F(PortLinksDlgTest, AnAdapterPluggedInLaterShowsAtTheNextOpening) {
  {
    PortLinksDlg dialog(&owner, tree.Roots(), OpenPortNow{});
    EXPECT_EQ(dialog.ChoiceFor(0).GetCount(), 1u);
    const std::vector<std::string> texts = Texts(dialog);
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        "No serial device was found. Plug the adapter in, then open this again."),
              texts.end());
  }
  const std::string adapter = tree.AddUsb({.name = "ttyACM0", .driver = "cdc_acm"});
  ASSERT_TRUE(tree.Ok());
  PortLinksDlg dialog(&owner, tree.Roots(), OpenPortNow{});
  EXPECT_EQ(dialog.ChoiceFor(0).GetCount(), 2u);
  EXPECT_NE(ItemLeadingTo(dialog, 0, adapter), wxNOT_FOUND);
}

// OK and Cancel as the user gives them: a click on OK, Esc.
TEST_F(PortLinksDlgTest, OkWritesTheChoiceAndCancelLeavesEverything) {
  const std::string adapter = tree.AddUsb({.byId = "usb-Adapter-if00-port0"});
  ASSERT_TRUE(tree.Ok());
  owner.Show();
  const auto choose = [&](PortLinksDlg& dialog) {
    dialog.ChoiceFor(3).SetSelection(ItemLeadingTo(dialog, 3, adapter));
  };
  PortLinksEdit edit = EditDriven([&](PortLinksDlg& dialog) {
    choose(dialog);
    PressKey(WXK_ESCAPE);
  });
  EXPECT_FALSE(edit.accepted);
  EXPECT_FALSE(fs::exists(config.Path() + "/vannor"));

  edit = EditDriven([&](PortLinksDlg& dialog) {
    choose(dialog);
    ClickOn(*dialog.FindWindow(wxID_OK));
  });
  EXPECT_TRUE(edit.accepted);
  EXPECT_EQ(edit.changed, std::vector<int>{3});
  EXPECT_EQ(fs::read_symlink(Link(3)), adapter);
}

}  // namespace
}  // namespace vannor::uitest
