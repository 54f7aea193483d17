#include "ui/port_links_dlg.h"

#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "serial/port_names.h"
#include "serial/present_ports.h"
#include "ui/dialog_builder.h"

namespace vannor {

namespace {

// "COM ports settings", in the half-width katakana of the window menu's other entries.
constexpr std::string_view CAPTION = "COM ﾎﾟｰﾄの設定";
constexpr std::string_view HINT =
    "Each COM port of the list opens the device chosen here, for this window and for vannor-cli.";
constexpr std::string_view NONE_FOUND =
    "No serial device was found. Plug the adapter in, then open this again.";
constexpr int GAP = 6;
// Widths in dialog units: long by-id names and descriptions are shortened on screen, and shown
// whole in the tooltip.
constexpr int OPENS_NOW_WIDTH = 150;
constexpr int CHOICE_WIDTH = 200;

wxStaticText* Text(wxWindow* parent, std::string_view text) {
  return new wxStaticText(parent, wxID_ANY, FromUtf8(text));
}

// The end of a path tells the most (the adapter's by-id name): the start gives way.
wxStaticText* PathText(wxWindow* parent, const std::string& path) {
  auto* text = new wxStaticText(parent, wxID_ANY, FromUtf8(path), wxDefaultPosition,
                                parent->ConvertDialogToPixels(wxSize(OPENS_NOW_WIDTH, -1)),
                                wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_START);
  text->SetToolTip(FromUtf8(path));
  return text;
}

void ShowChosenWhole(wxChoice& choice) {
  choice.SetToolTip(choice.GetStringSelection());
}

// " COM2: /dev/ttyUSB1: missing (unplugged?) ", a line of the box or of the dialog.
void AddFailure(std::string& failures, int index, const std::string& where,
                const std::string& reason) {
  if (!failures.empty()) failures += "\n";
  failures += " " + std::string(PortName(index)) + ": " + (where.empty() ? "" : where + ": ") +
              reason + " ";
}

}  // namespace

std::string WhereItLeads(const PortLinkState& state) {
  if (!state.refusal.empty()) return "cannot be used: " + state.opens + ": " + state.refusal;
  if (!state.linked) return state.opens + " (default)";
  return state.connected ? state.opens : state.opens + " (not connected)";
}

PortLinksDlg::PortLinksDlg(wxWindow* owner, const DeviceRoots& roots, const OpenPortNow& open)
    : wxDialog(owner, wxID_ANY, FromUtf8(CAPTION), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX, NAME),
      roots_(roots) {
  const std::vector<PresentPort> devices = PresentPorts(roots);
  auto* grid = new wxFlexGridSizer(3, wxSize(2 * GAP, GAP));
  grid->Add(Text(this, "Port"));
  grid->Add(Text(this, "Opens now"));
  grid->Add(Text(this, "Opens after OK"));
  rows_.resize(PORT_COUNT);
  for (int index = 0; index < PORT_COUNT; ++index) {
    const PortLinkState state = PortLinkOf(index);
    Row& row = rows_[index];
    row.choice = new wxChoice(this, wxID_ANY, wxDefaultPosition,
                              ConvertDialogToPixels(wxSize(CHOICE_WIDTH, -1)));
    row.choice->Append("default (" + FromUtf8(state.fallback) + ")");
    row.targets.push_back(std::string());
    if (state.linked) {
      // A link to something not found (gone, or a device of another kind) stays a choice of its
      // own, so that OK leaves it as it is unless the user picks another.
      bool found = false;
      for (const PresentPort& device : devices) found = found || device.target == state.opens;
      if (!found) {
        row.choice->Append(FromUtf8(WhereItLeads(state)));
        row.targets.push_back(state.opens);
      }
    }
    for (const PresentPort& device : devices) {
      row.choice->Append(FromUtf8(device.item));
      row.targets.push_back(device.target);
      if (state.linked && device.target == state.opens) {
        row.initial = static_cast<int>(row.targets.size()) - 1;
      }
    }
    if (state.linked && row.initial == 0) row.initial = 1;
    row.choice->SetSelection(row.initial);
    ShowChosenWhole(*row.choice);
    row.choice->Bind(wxEVT_CHOICE, [choice = row.choice](wxCommandEvent& event) {
      ShowChosenWhole(*choice);
      event.Skip();
    });
    grid->Add(Text(this, PortName(index)), 0, wxALIGN_CENTRE_VERTICAL);
    // The open port's device, even where a link changed since makes its name lead elsewhere.
    const bool isOpen = index == open.index && !open.port.path.empty();
    grid->Add(PathText(this, WhereItLeads(isOpen ? PortLinkOf(index, open.port) : state)), 0,
              wxALIGN_CENTRE_VERTICAL);
    grid->Add(row.choice, 0, wxEXPAND);
  }

  auto* column = new wxBoxSizer(wxVERTICAL);
  auto* hint = Text(this, HINT);
  hint->Wrap(ConvertDialogToPixels(wxSize(OPENS_NOW_WIDTH + CHOICE_WIDTH, -1)).GetWidth());
  column->Add(hint, 0, wxALL, 2 * GAP);
  if (devices.empty()) column->Add(Text(this, NONE_FOUND), 0, wxLEFT | wxRIGHT | wxBOTTOM, 2 * GAP);
  column->Add(grid, 1, wxEXPAND | wxLEFT | wxRIGHT, 2 * GAP);
  refusalText_ = Text(this, "");
  refusalText_->SetForegroundColour(*wxRED);
  column->Add(refusalText_, 0, wxLEFT | wxRIGHT | wxTOP, 2 * GAP);
  column->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 2 * GAP);
  SetSizerAndFit(column);
  Bind(wxEVT_BUTTON, &PortLinksDlg::OnOk, this, wxID_OK);
  CentreOnParent();
}

void PortLinksDlg::OnOk(wxCommandEvent& event) {
  const std::string refusals = Refusals();
  if (refusals.empty()) {
    event.Skip();
    return;
  }
  refusalText_->SetLabel(FromUtf8(refusals));
  Fit();
}

std::string PortLinksDlg::Refusals() const {
  std::string refusals;
  for (int index = 0; index < PORT_COUNT; ++index) {
    const Row& row = rows_[index];
    const int chosen = row.choice->GetSelection();
    if (chosen == row.initial || chosen < 0 || row.targets[chosen].empty()) continue;
    const std::string refusal = LinkTargetRefusal(row.targets[chosen], roots_);
    if (!refusal.empty()) AddFailure(refusals, index, row.targets[chosen], refusal);
  }
  return refusals;
}

PortLinksDlg::Written PortLinksDlg::Apply() const {
  Written written;
  for (int index = 0; index < PORT_COUNT; ++index) {
    const Row& row = rows_[index];
    const int chosen = row.choice->GetSelection();
    if (chosen == row.initial || chosen < 0) continue;
    const std::string& target = row.targets[chosen];
    // Checked again: the device may have gone since OK was pressed.
    const std::string refusal = target.empty() ? "" : LinkTargetRefusal(target, roots_);
    if (!refusal.empty()) {
      AddFailure(written.failures, index, target, refusal);
      continue;
    }
    const PortLinkChange change =
        target.empty() ? RemovePortLink(index) : WritePortLink(index, target);
    if (change.failure == PortLinkFailure::None) {
      written.changed.push_back(index);
      continue;
    }
    AddFailure(written.failures, index, change.where, change.reason);
  }
  return written;
}

}  // namespace vannor
