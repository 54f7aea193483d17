// The window's way to its COM ports: the menu entry's dialog, and the port list's tooltip naming
// the device behind the port in use. What the open port leads to changes only at a pick: after OK,
// when its name leads elsewhere than the device open (a row changed, or a link vannor-cli changed
// meanwhile), it is picked again as the user would pick it in the list, and never during an
// exchange (the menu does not offer the entry then).
#pragma once

#include <wx/combobox.h>
#include <wx/dialog.h>

#include <functional>
#include <string_view>

#include "protocol/link.h"
#include "serial/device_roots.h"
#include "ui/port_links_menu.h"

namespace vannor {

class PortLinksEntry {
 public:
  struct Window {
    // Shows a dialog of the window's modally; returns its result.
    std::function<int(wxDialog&)> showModal;
    std::function<void(std::string_view)> showMessage;
    // Picks the port at index in the list, as the user would.
    std::function<void(int)> pickPort;
  };

  // Handles the menu entry of `owner`; `list` is its port list, `link` its link to the radio.
  PortLinksEntry(wxWindow& owner, wxComboBox& list, const Link& link, Window window);
  ~PortLinksEntry();
  PortLinksEntry(const PortLinksEntry&) = delete;
  PortLinksEntry& operator=(const PortLinksEntry&) = delete;

  // The serial devices of another tree than the system's (tests).
  void UseDeviceRoots(const DeviceRoots& roots) { roots_ = roots; }
  // Names the device behind the port in use in the list's tooltip; after every open, and when
  // the window is activated or the pointer comes to the list (a link may have changed).
  void ShowTip();

 private:
  OpenPortNow OpenNow() const;
  void OnActivate(wxActivateEvent& event);
  void OnEnterList(wxMouseEvent& event);
  // The menu entry: the dialog, and what OK changed.
  void OnEntry(wxCommandEvent& event);

  wxWindow& owner_;
  wxComboBox& list_;
  const Link& link_;
  Window window_;
  DeviceRoots roots_;
};

}  // namespace vannor
