#include "ui/dialog_builder.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/control.h>
#include <wx/dialog.h>
#include <wx/font.h>
#include <wx/gauge.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
// After wx/stattext.h: it would otherwise hide the platform's wxStaticText.
#include <wx/generic/stattextg.h>

#include "ui/app_icon.h"
#include "ui/look.h"

namespace vannor {

namespace {

using res::ControlKind;
using res::ControlTemplate;

long TextAlignment(unsigned style) {
  long flags = 0;
  if (style & res::ALIGN_RIGHT) flags |= wxALIGN_RIGHT;
  if (style & res::CENTRE_HORIZONTAL) flags |= wxALIGN_CENTRE_HORIZONTAL;
  if (style & res::CENTRE_VERTICAL) flags |= wxALIGN_CENTRE_VERTICAL;
  return flags;
}

bool HasEdge(unsigned style) {
  return (style & (res::SUNKEN_EDGE | res::STATIC_EDGE | res::MODAL_FRAME)) != 0;
}

wxWindow* CreateStaticText(wxDialog& dialog, const ControlTemplate& control, const wxRect& rect) {
  const int id = WindowIdOf(control);
  wxString text = FromUtf8(control.text);
  if (control.style & res::NO_PREFIX) text = wxControl::EscapeMnemonics(text);
  // The label keeps its table size whatever text it is given later.
  const long style = wxST_NO_AUTORESIZE | TextAlignment(control.style);
  if (HasEdge(control.style)) {
    // GTK's own label draws no border; the generic one draws the frame and centres its text
    // vertically as well.
    return new wxGenericStaticText(&dialog, id, text, rect.GetPosition(), rect.GetSize(),
                                   style | wxBORDER_SUNKEN);
  }
  return new wxStaticText(&dialog, id, text, rect.GetPosition(), rect.GetSize(), style);
}

wxWindow* CreateControl(wxDialog& dialog, const ControlTemplate& control) {
  const wxRect rect = DialogUnitsToPixels(dialog, control.rect);
  const int id = WindowIdOf(control);
  const wxString text = FromUtf8(control.text);
  switch (control.kind) {
    case ControlKind::DefaultPushButton: {
      auto* button =
          new wxButton(&dialog, id, text, rect.GetPosition(), rect.GetSize(), wxBU_EXACTFIT);
      button->SetDefault();
      return button;
    }
    case ControlKind::PushButton:
      // Exact fit: the toolkit's minimum button size would outgrow the layout's buttons.
      return new wxButton(&dialog, id, text, rect.GetPosition(), rect.GetSize(), wxBU_EXACTFIT);
    case ControlKind::ComboBox: {
      // The table's height is that of the open list; the closed box is as tall as its text.
      auto* list =
          new wxComboBox(&dialog, id, text, rect.GetPosition(),
                         wxSize(rect.GetWidth(), wxDefaultCoord), 0, nullptr, wxCB_DROPDOWN);
      KeepOneTabStop(*list);
      return list;
    }
    case ControlKind::StaticText:
      return CreateStaticText(dialog, control, rect);
    case ControlKind::ProgressBar: {
      auto* bar = new wxGauge(&dialog, id, 100, rect.GetPosition(), rect.GetSize(),
                              wxGA_HORIZONTAL | wxGA_SMOOTH);
      FillProgressBarHeight(*bar);
      return bar;
    }
    case ControlKind::CheckBox:
      return new wxCheckBox(&dialog, id, text, rect.GetPosition(), rect.GetSize());
    case ControlKind::GroupBox:
      return new wxStaticBox(&dialog, id, text, rect.GetPosition(), rect.GetSize());
    case ControlKind::Icon:
      return new wxStaticBitmap(&dialog, id, AppIconBitmap(rect.GetWidth()), rect.GetPosition(),
                                rect.GetSize());
  }
  return nullptr;
}

}  // namespace

wxString FromUtf8(std::string_view text) {
  return wxString::FromUTF8(text.data(), text.size());
}

int WindowIdOf(const ControlTemplate& control) {
  if (control.id == IDOK) return wxID_OK;
  if (control.id == res::NO_ID) return wxID_ANY;
  return control.id;
}

wxRect DialogUnitsToPixels(const wxWindow& dialog, const res::DluRect& rect) {
  // Both corners are converted, so that neighbours that touch in dialog units touch on screen.
  const wxPoint topLeft = dialog.ConvertDialogToPixels(wxPoint(rect.x, rect.y));
  const wxPoint bottomRight =
      dialog.ConvertDialogToPixels(wxPoint(rect.x + rect.width, rect.y + rect.height));
  return wxRect(topLeft, wxSize(bottomRight.x - topLeft.x, bottomRight.y - topLeft.y));
}

std::vector<wxWindow*> BuildDialog(wxDialog& dialog, const res::DialogTemplate& layout) {
  dialog.SetLabel(FromUtf8(layout.caption));
  dialog.SetFont(wxFont(wxFontInfo(layout.fontPoints).FaceName(FromUtf8(layout.fontFace))));
  ApplyDialogStyle(dialog);
  dialog.SetClientSize(dialog.ConvertDialogToPixels(wxSize(layout.width, layout.height)));

  std::vector<wxWindow*> controls;
  controls.reserve(layout.controls.size());
  for (const ControlTemplate& control : layout.controls) {
    controls.push_back(CreateControl(dialog, control));
  }
  return controls;
}

void ShowLabelText(wxControl& label, std::string& shown, std::string_view text) {
  if (shown == text) return;
  shown.assign(text);
  label.SetLabelText(FromUtf8(text));
}

}  // namespace vannor
