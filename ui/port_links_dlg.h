// The COM ports dialog of the window: for COM1 to COM10, the device each opens now and a choice
// among the serial ports present, or the default; what was chosen is written as the same per-user
// links as vannor-cli map and unmap write. A row whose choice would not open (gone since the
// dialog opened, the system console) is told in the dialog at OK, which then stays open.
#pragma once

#include <wx/dialog.h>

#include <string>
#include <vector>

#include "serial/device_roots.h"
#include "serial/port_links.h"
#include "serial/port_names.h"

class wxChoice;
class wxStaticText;

namespace vannor {

// The port the window has open: its list index (-1 for none) and what its name resolved to when
// it opened, which a link changed since (vannor-cli map) does not change.
struct OpenPortNow {
  int index = -1;
  ResolvedPort port;
};

// "/dev/ttyS0 (default)", "/dev/serial/by-id/usb-… (not connected)", "COM17", the link's target,
// or why the name leads nowhere.
std::string WhereItLeads(const PortLinkState& state);

class PortLinksDlg final : public wxDialog {
 public:
  // The name a modal-dialog hook knows the dialog by.
  static constexpr const char* NAME = "vannor-port-links";

  // Reads the ports present and the links anew, so that an adapter plugged in since shows; the
  // open port's row says what is open now.
  PortLinksDlg(wxWindow* owner, const DeviceRoots& roots, const OpenPortNow& open);

  struct Written {
    std::vector<int> changed;  // indexes whose link was written or removed
    std::string failures;      // one line for each that could not be; empty when none
  };
  // Writes the link of each port whose choice differs from what it opened when the dialog
  // opened; the others stay as they are, and so does a row whose choice would not open.
  Written Apply() const;
  // Why the changed rows' choices would not open, one line each; empty when they all would.
  std::string Refusals() const;
  // Where OK tells those.
  const wxStaticText& RefusalText() const { return *refusalText_; }

  // The choice of the port at `index` (0 to 9).
  wxChoice& ChoiceFor(int index) const { return *rows_[index].choice; }
  // What a link would name for item `item` of that choice; empty for the default.
  const std::string& TargetOf(int index, int item) const { return rows_[index].targets[item]; }

 private:
  struct Row {
    wxChoice* choice = nullptr;
    int initial = 0;
    std::vector<std::string> targets;  // one per item, as above
  };
  // OK: closes only when every changed row would open.
  void OnOk(wxCommandEvent& event);

  DeviceRoots roots_;
  std::vector<Row> rows_;
  wxStaticText* refusalText_ = nullptr;
};

}  // namespace vannor
