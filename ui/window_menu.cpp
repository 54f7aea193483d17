#include "ui/window_menu.h"

#include <string_view>

#include "res/dialog_templates.h"
#include "ui/dialog_builder.h"
#include "ui/history_dlg.h"
#include "ui/port_links_menu.h"
#include "ui/system_menu.h"

namespace vannor {

namespace {

// "Close (&C)": the window menu's own entry above the About entry.
constexpr std::string_view CLOSE_ITEM_TEXT = "閉じる(&C)";

}  // namespace

WindowMenu::~WindowMenu() {
  if (standIn_) window_.Unbind(wxEVT_CONTEXT_MENU, &WindowMenu::OnContextMenu, this);
  if (systemMenu_ != nullptr) window_.Unbind(wxEVT_MENU_OPEN, &WindowMenu::OnMenuOpen, this);
}

void WindowMenu::Build() {
  const wxString aboutItem = FromUtf8(res::IDS_ABOUT_ITEM_TEXT);
  // Without a window menu of its own (GTK gives programs none), the stand-in.
  wxMenu* menu = SystemMenuOf(window_);
  if (menu != nullptr) {
    systemMenu_ = menu;
    window_.Bind(wxEVT_MENU_OPEN, &WindowMenu::OnMenuOpen, this);
  } else {
    standIn_ = std::make_unique<wxMenu>();
    standIn_->Append(res::MENU_CLOSE, FromUtf8(CLOSE_ITEM_TEXT));
    window_.Bind(wxEVT_CONTEXT_MENU, &WindowMenu::OnContextMenu, this);
    menu = standIn_.get();
  }
  // Below the platform's Close entry; About last, below a separator.
  menu->Append(res::MENU_PORT_LINKS, FromUtf8(PORT_LINKS_ITEM_TEXT));
  menu->Append(res::MENU_HISTORY, FromUtf8(HISTORY_ITEM_TEXT));
  if (aboutItem.empty()) return;
  menu->AppendSeparator();
  menu->Append(static_cast<int>(res::IDM_ABOUTBOX), aboutItem);
}

void WindowMenu::OnMenuOpen(wxMenuEvent& event) {
  systemMenu_->Enable(res::MENU_PORT_LINKS, offerPortLinks_());
  event.Skip();
}

void WindowMenu::OnContextMenu(wxContextMenuEvent& event) {
  wxPoint where = event.GetPosition();
  if (where == wxDefaultPosition) {
    // From the keyboard (Shift+F10, the Menu key): open it at the control that has the focus.
    const wxWindow* focus = wxWindow::FindFocus();
    where =
        focus != nullptr && focus != &window_ && window_.IsDescendant(const_cast<wxWindow*>(focus))
            ? focus->GetScreenRect().GetBottomLeft()
            : window_.ClientToScreen(wxPoint(0, 0));
  }
  standIn_->Enable(res::MENU_PORT_LINKS, offerPortLinks_());
  window_.PopupMenu(standIn_.get(), window_.ScreenToClient(where));
}

}  // namespace vannor
