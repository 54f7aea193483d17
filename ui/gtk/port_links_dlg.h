// The COM ports dialog of the Linux window: for COM1 to COM10, the device each opens now and a
// choice among the serial devices found, or the default; what was chosen is written as the same
// per-user links as vannor-cli map and unmap write.
#pragma once

#include <wx/dialog.h>

#include <string>
#include <vector>

#include "serial/device_roots.h"
#include "serial/linux/port_links.h"

class wxChoice;

namespace vannor {

// "/dev/ttyS0 (default)", "/dev/serial/by-id/usb-… (not connected)", the link's target, or why
// the name leads nowhere.
std::string WhereItLeads(const PortLinkState& state);

class PortLinksDlg final : public wxDialog {
 public:
  // The name a modal-dialog hook knows the dialog by.
  static constexpr const char* NAME = "vannor-port-links";

  // Reads the devices and the links anew, so that an adapter plugged in since shows.
  PortLinksDlg(wxWindow* owner, const DeviceRoots& roots);

  struct Written {
    std::vector<int> changed;  // indexes whose link was written or removed
    std::string failures;      // one line for each that could not be; empty when none
  };
  // Writes the link of each port whose choice differs from what it opened when the dialog
  // opened; the others stay as they are.
  Written Apply() const;

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
  std::vector<Row> rows_;
};

}  // namespace vannor
