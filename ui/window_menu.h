// The window menu's entries of the program's own: the COM ports entry (offered only between
// exchanges) and the history entry below the platform's Close entry and, below a separator,
// the About entry. On
// Windows they go into the window's system menu. GTK gives programs no system menu: the window's
// context menu (right click, Shift+F10, the Menu key) stands in for it, with a Close entry.
#pragma once

#include <wx/dialog.h>
#include <wx/menu.h>

#include <functional>
#include <memory>
#include <utility>

namespace vannor {

class WindowMenu {
 public:
  // `offerPortLinks` says whether the COM ports entry may be chosen now.
  WindowMenu(wxDialog& window, std::function<bool()> offerPortLinks)
      : window_(window), offerPortLinks_(std::move(offerPortLinks)) {}
  ~WindowMenu();
  WindowMenu(const WindowMenu&) = delete;
  WindowMenu& operator=(const WindowMenu&) = delete;

  // Adds the entries, once the window exists on screen.
  void Build();
  // The stand-in menu; null before Build and where the system menu has the entries.
  wxMenu* StandIn() const { return standIn_.get(); }

 private:
  void OnContextMenu(wxContextMenuEvent& event);
  // The system menu opens: its COM ports entry greyed during an exchange.
  void OnMenuOpen(wxMenuEvent& event);

  wxDialog& window_;
  std::function<bool()> offerPortLinks_;
  std::unique_ptr<wxMenu> standIn_;
  wxMenu* systemMenu_ = nullptr;  // the platform's, where it has one
};

}  // namespace vannor
