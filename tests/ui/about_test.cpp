// The About entry of the window's menu and the About box it opens.
#include <gtest/gtest.h>
#include <wx/menu.h>

#include "res/resource.h"
#include "tests/ui/window_fixture.h"

namespace vannor::uitest {
namespace {

class AboutTest : public WindowTest {
 protected:
  // Once the menu is open, picks its last entry from the keyboard, as a person would.
  void PickLastEntryWhenTheMenuOpens(wxMenu& menu) {
    menu.Bind(wxEVT_MENU_OPEN, [this](wxMenuEvent& event) {
      window->CallAfter([] {
        PressKey(WXK_UP);
        PressKey(WXK_RETURN);
      });
      event.Skip();
    });
  }

  void ExpectAboutBoxShown(std::size_t count) {
    ASSERT_TRUE(PumpUntil([&] { return modals.AboutBoxes().size() == count; }));
    const AboutRecord& about = modals.AboutBoxes().back();
    EXPECT_EQ(about.caption, "Vannorのﾊﾞｰｼﾞｮﾝ情報");
    ASSERT_FALSE(about.labels.empty());
    EXPECT_EQ(about.labels[0], "Vannor Version 1.0");
    EXPECT_TRUE(about.hasIcon);
    EXPECT_TRUE(about.hasOkButton);
  }
};

TEST_F(AboutTest, TheMenuEndsWithTheAboutEntryBelowASeparator) {
  StartRadio(1);
  VannorDlg& dlg = ShowWindow();
  ASSERT_NE(dlg.SystemMenu(), nullptr);
  const wxMenuItemList& items = dlg.SystemMenu()->GetMenuItems();
  ASSERT_GE(items.size(), 2u);
  EXPECT_TRUE(items[items.size() - 2]->IsSeparator());
  const wxMenuItem* about = items.back();
  EXPECT_EQ(about->GetId(), static_cast<int>(res::IDM_ABOUTBOX));
  EXPECT_EQ(about->GetItemLabel().utf8_string(), "Vannor のﾊﾞｰｼﾞｮﾝ情報(&A)...");
}

TEST_F(AboutTest, RightClickAndShiftF10BothLeadToTheAboutBox) {
  StartRadio(1);
  VannorDlg& dlg = ShowWindow();
  PickLastEntryWhenTheMenuOpens(*dlg.SystemMenu());

  // A right click on the window's face, away from its controls.
  modals.ExpectAboutBox();
  wxWindow& percent = Get<wxWindow>(IDC_PERCENT);
  RightClickAt(percent.GetScreenRect().GetBottomLeft() + wxPoint(0, 20));
  ExpectAboutBoxShown(1);

  // The keyboard's way, from the control that has the focus.
  modals.ExpectAboutBox();
  Get<wxWindow>(wxID_OK).SetFocus();
  PressKey(WXK_F10, wxMOD_SHIFT);
  ExpectAboutBoxShown(2);

  // The main window is as it was.
  EXPECT_TRUE(dlg.IsShown());
  EXPECT_TRUE(dlg.Watching());
  EXPECT_TRUE(dlg.SerialLine().PortUsable());
  EXPECT_TRUE(modals.Messages().empty());
}

TEST_F(AboutTest, OnlyTheUpperBitsOfASystemCommandChooseTheAboutBox) {
  StartRadio(1);
  VannorDlg& dlg = ShowWindow();
  modals.ExpectAboutBox();
  dlg.OnSysCommand(res::IDM_ABOUTBOX | 0x3, 0);
  ExpectAboutBoxShown(1);
  // 0x0020 is not the About entry: the hook fails the test if a box opens for it.
  dlg.OnSysCommand(0x0020, 0);
  EXPECT_EQ(modals.AboutBoxes().size(), 1u);
  EXPECT_TRUE(dlg.IsShown());
}

}  // namespace
}  // namespace vannor::uitest
