// The windows as built from their layout tables: every control in place and in tab order,
// inside its dialog and its group, nothing overlapping that the table keeps apart, nothing
// smaller than its text, and the face the layout was drawn for.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/fontutil.h>
#include <wx/gauge.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include <memory>
#include <string>
#include <vector>

#include "res/dialog_templates.h"
#include "tests/ui/window_fixture.h"
#include "ui/about_dlg.h"
#include "ui/dialog_builder.h"

namespace vannor::uitest {
namespace {

using res::ControlKind;
using res::ControlTemplate;

bool IsKind(const wxWindow& window, ControlKind kind) {
  switch (kind) {
    case ControlKind::DefaultPushButton:
    case ControlKind::PushButton:
      return dynamic_cast<const wxButton*>(&window) != nullptr;
    case ControlKind::ComboBox:
      return dynamic_cast<const wxComboBox*>(&window) != nullptr;
    case ControlKind::StaticText:
      return dynamic_cast<const wxStaticTextBase*>(&window) != nullptr;
    case ControlKind::ProgressBar:
      return dynamic_cast<const wxGauge*>(&window) != nullptr;
    case ControlKind::CheckBox:
      return dynamic_cast<const wxCheckBox*>(&window) != nullptr;
    case ControlKind::GroupBox:
      return dynamic_cast<const wxStaticBox*>(&window) != nullptr;
    case ControlKind::Icon:
      return dynamic_cast<const wxStaticBitmap*>(&window) != nullptr;
  }
  return false;
}

bool Overlap(const res::DluRect& a, const res::DluRect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

std::string Describe(const ControlTemplate& control) {
  return std::to_string(control.id) + " \"" + std::string(control.text) + "\"";
}

// The words each control shows, in table order, as the user reads them (none for the list, the
// bar and the icon); written out here, so that a slip in the table cannot pass.
const std::vector<std::string> MAIN_LABELS = {
    "End", "", "COM Select",
    // An ideographic space first; six blanks before "V1.03" and twelve after it.
    "\u3000Tavix for Corvane-7      V1.03            Ostrova", "", "Update", "0", "%", "Write",
    "Write", "DSP1", "DSP2", "Tavix3", "Tavix3", "Ver Read", "V00.00", "V00.00"};
const std::vector<std::string> ABOUT_LABELS = {"", "Vannor Version 1.0",
                                               "DSP program writer for the radio", "OK"};

// Every child of `dialog` against its row of `layout`, in table order, showing `labels`.
void ExpectBuiltFromTable(const wxWindow& dialog, const res::DialogTemplate& layout,
                          const std::vector<std::string>& labels) {
  const wxWindowList& children = dialog.GetChildren();
  ASSERT_EQ(children.size(), layout.controls.size());
  ASSERT_EQ(labels.size(), layout.controls.size());
  for (std::size_t i = 0; i < layout.controls.size(); ++i) {
    const ControlTemplate& control = layout.controls[i];
    const wxWindow& child = *children[i];
    SCOPED_TRACE(Describe(control));
    EXPECT_TRUE(IsKind(child, control.kind));
    if (control.id != res::NO_ID) {
      EXPECT_EQ(child.GetId(), WindowIdOf(control));
    }
    if (control.kind != ControlKind::ComboBox && control.kind != ControlKind::ProgressBar &&
        control.kind != ControlKind::Icon) {
      EXPECT_EQ(LabelOf(child), labels[i]);
    }
    const wxRect expected = DialogUnitsToPixels(dialog, control.rect);
    const wxRect actual = child.GetRect();
    EXPECT_EQ(actual.GetPosition(), expected.GetPosition());
    EXPECT_EQ(actual.GetWidth(), expected.GetWidth());
    // The closed drop-down is as tall as its text; the table gives the open list's height.
    if (control.kind != ControlKind::ComboBox) {
      EXPECT_EQ(actual.GetHeight(), expected.GetHeight());
    }
  }
}

// Inside the dialog and the group, and no overlap that the table does not have.
void ExpectPlacedApart(const wxWindow& dialog, const res::DialogTemplate& layout) {
  const wxWindowList& children = dialog.GetChildren();
  ASSERT_EQ(children.size(), layout.controls.size());
  const wxRect client(wxPoint(0, 0), dialog.GetClientSize());
  EXPECT_EQ(dialog.GetClientSize(),
            dialog.ConvertDialogToPixels(wxSize(layout.width, layout.height)));
  for (std::size_t i = 0; i < layout.controls.size(); ++i) {
    const ControlTemplate& control = layout.controls[i];
    const wxRect rect = children[i]->GetRect();
    EXPECT_TRUE(client.Contains(rect)) << Describe(control);
    if (!control.group.empty()) {
      bool found = false;
      for (std::size_t g = 0; g < layout.controls.size(); ++g) {
        const ControlTemplate& box = layout.controls[g];
        if (box.kind != ControlKind::GroupBox || box.text != control.group) continue;
        found = true;
        EXPECT_TRUE(children[g]->GetRect().Contains(rect)) << Describe(control);
      }
      EXPECT_TRUE(found) << Describe(control);
    }
    for (std::size_t j = i + 1; j < layout.controls.size(); ++j) {
      if (!rect.Intersects(children[j]->GetRect())) continue;
      EXPECT_TRUE(Overlap(control.rect, layout.controls[j].rect))
          << Describe(control) << " overlaps " << Describe(layout.controls[j]);
    }
  }
}

// Nothing is clipped: every control is at least as large as GTK needs for its content.
void ExpectNothingClipped(wxWindow& dialog) {
  for (wxWindow* child : dialog.GetChildren()) {
    // A label of fixed size keeps the best size of its first text otherwise.
    child->InvalidateBestSize();
    const wxSize best = child->GetBestSize();
    const wxSize size = child->GetSize();
    EXPECT_LE(best.GetWidth(), size.GetWidth()) << LabelOf(*child) << " id " << child->GetId();
    EXPECT_LE(best.GetHeight(), size.GetHeight()) << LabelOf(*child) << " id " << child->GetId();
  }
}

class LayoutTest : public WindowTest {};

TEST_F(LayoutTest, TheMainWindowIsBuiltFromItsTableInTabOrder) {
  StartRadio(1);
  VannorDlg& dlg = ShowWindow();
  ExpectBuiltFromTable(dlg, res::MAIN_DIALOG, MAIN_LABELS);

  // Tab from End visits the controls with a tab stop in table order and comes back to End.
  std::vector<int> expected;
  for (const ControlTemplate& control : res::MAIN_CONTROLS) {
    if (control.style & res::TAB_STOP) expected.push_back(WindowIdOf(control));
  }
  expected.push_back(wxID_OK);
  ASSERT_TRUE(PumpUntil([&] { return wxWindow::FindFocus() == &Get<wxWindow>(wxID_OK); }));
  std::vector<int> visited = {wxID_OK};
  while (visited.size() < expected.size() && visited.size() < 3 * expected.size()) {
    const wxWindow* before = wxWindow::FindFocus();
    PressKey(WXK_TAB);
    ASSERT_TRUE(PumpUntil([&] { return wxWindow::FindFocus() != before; }));
    const wxWindow* now = wxWindow::FindFocus();
    // Null: a focus stop inside a control that is no control of the table.
    ASSERT_NE(now, nullptr) << "after " << visited.back();
    visited.push_back(now->GetId());
  }
  EXPECT_EQ(visited, expected);
}

TEST_F(LayoutTest, TheMainWindowKeepsItsControlsApartAndUnclipped) {
  StartRadio(1);
  VannorDlg& dlg = ShowWindow();
  ExpectPlacedApart(dlg, res::MAIN_DIALOG);
  ExpectNothingClipped(dlg);
  // The widest texts the labels show during a run.
  dlg.ShowProgress(100, "100");
  for (const char* version : {"V88.88", "V255.255"}) {
    SCOPED_TRACE(version);
    dlg.ShowVersions(version, version);
    ExpectNothingClipped(dlg);
  }
}

TEST_F(LayoutTest, TheAboutBoxIsBuiltFromItsTableAndUnclipped) {
  StartRadio(1);
  VannorDlg& dlg = ShowWindow();
  AboutDlg about(&dlg);
  about.Show();
  ASSERT_TRUE(PumpUntil([&] { return about.IsShownOnScreen(); }));
  EXPECT_EQ(LabelOf(about), "Vannorのﾊﾞｰｼﾞｮﾝ情報");
  ExpectBuiltFromTable(about, res::ABOUT_DIALOG, ABOUT_LABELS);
  ExpectPlacedApart(about, res::ABOUT_DIALOG);
  ExpectNothingClipped(about);
  about.Hide();
}

TEST_F(LayoutTest, TheDialogFaceIsIpaPGothicThroughTheAlias) {
  StartRadio(1);
  VannorDlg& dlg = ShowWindow();
  const wxWindow& banner = Get<wxWindow>(IDC_BANNER);
  EXPECT_EQ(banner.GetFont().GetFaceName().utf8_string(), "ＭＳ Ｐゴシック");
  EXPECT_EQ(banner.GetFont().GetPointSize(), 9);

  // What Pango actually draws with for that face.
  PangoContext* context = gtk_widget_get_pango_context(dlg.GetHandle());
  PangoFont* font =
      pango_context_load_font(context, banner.GetFont().GetNativeFontInfo()->description);
  ASSERT_NE(font, nullptr);
  PangoFontDescription* used = pango_font_describe(font);
  EXPECT_STREQ(pango_font_description_get_family(used), "IPAPGothic");
  pango_font_description_free(used);
  g_object_unref(font);
}

}  // namespace
}  // namespace vannor::uitest
