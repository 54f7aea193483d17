#include "ui/gtk/port_links_dlg.h"

#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <filesystem>

#include "serial/linux/serial_devices.h"
#include "serial/port_names.h"
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

// "ttyUSB0 — ftdi_sio: FTDI FT232R USB UART, serial number A9XYZ, latency timer 16 ms"
std::string ItemFor(const SerialDevice& device) {
  const std::string identity = DescribeDevice(device);
  const std::string node = std::filesystem::path(device.node).filename().string();
  if (identity.empty()) return device.path;
  return node + " \u2014 " + identity;
}

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

}  // namespace

std::string WhereItLeads(const PortLinkState& state) {
  if (!state.refusal.empty()) return "cannot be used: " + state.opens + ": " + state.refusal;
  if (!state.linked) return state.opens + " (default)";
  return state.connected ? state.opens : state.opens + " (not connected)";
}

PortLinksDlg::PortLinksDlg(wxWindow* owner, const DeviceRoots& roots)
    : wxDialog(owner, wxID_ANY, FromUtf8(CAPTION), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX, NAME) {
  const std::vector<SerialDevice> devices = FindSerialDevices(roots);
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
      for (const SerialDevice& device : devices) found = found || device.path == state.opens;
      if (!found) {
        row.choice->Append(FromUtf8(WhereItLeads(state)));
        row.targets.push_back(state.opens);
      }
    }
    for (const SerialDevice& device : devices) {
      row.choice->Append(FromUtf8(ItemFor(device)));
      row.targets.push_back(device.path);
      if (state.linked && device.path == state.opens) {
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
    grid->Add(PathText(this, WhereItLeads(state)), 0, wxALIGN_CENTRE_VERTICAL);
    grid->Add(row.choice, 0, wxEXPAND);
  }

  auto* column = new wxBoxSizer(wxVERTICAL);
  auto* hint = Text(this, HINT);
  hint->Wrap(ConvertDialogToPixels(wxSize(OPENS_NOW_WIDTH + CHOICE_WIDTH, -1)).GetWidth());
  column->Add(hint, 0, wxALL, 2 * GAP);
  if (devices.empty()) column->Add(Text(this, NONE_FOUND), 0, wxLEFT | wxRIGHT | wxBOTTOM, 2 * GAP);
  column->Add(grid, 1, wxEXPAND | wxLEFT | wxRIGHT, 2 * GAP);
  column->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 2 * GAP);
  SetSizerAndFit(column);
  CentreOnParent();
}

PortLinksDlg::Written PortLinksDlg::Apply() const {
  Written written;
  for (int index = 0; index < PORT_COUNT; ++index) {
    const Row& row = rows_[index];
    const int chosen = row.choice->GetSelection();
    if (chosen == row.initial || chosen < 0) continue;
    const std::string& target = row.targets[chosen];
    const PortLinkChange change =
        target.empty() ? RemovePortLink(index) : WritePortLink(index, target);
    if (change.failure == PortLinkFailure::None) {
      written.changed.push_back(index);
      continue;
    }
    if (!written.failures.empty()) written.failures += "\n";
    written.failures += " " + std::string(PortName(index)) + ": " +
                        (change.where.empty() ? "" : change.where + ": ") + change.reason + " ";
  }
  return written;
}

}  // namespace vannor
