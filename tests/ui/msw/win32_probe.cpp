#include "tests/ui/msw/win32_probe.h"

#include <windows.h>
#include <wx/string.h>

namespace vannor::uitest {

std::vector<MenuEntry> SystemMenuEntries(void* window) {
  std::vector<MenuEntry> entries;
  const HMENU menu = GetSystemMenu(static_cast<HWND>(window), FALSE);
  const int count = menu != nullptr ? GetMenuItemCount(menu) : 0;
  for (int i = 0; i < count; ++i) {
    MenuEntry entry;
    const UINT position = static_cast<UINT>(i);
    entry.separator = (GetMenuState(menu, position, MF_BYPOSITION) & MF_SEPARATOR) != 0;
    entry.command = GetMenuItemID(menu, i);
    wchar_t text[128] = {};
    if (GetMenuStringW(menu, position, text, 128, MF_BYPOSITION) > 0) {
      entry.text = wxString(text).utf8_string();
    }
    entries.push_back(entry);
  }
  return entries;
}

void SendSystemCommand(void* window, unsigned command) {
  SendMessageW(static_cast<HWND>(window), WM_SYSCOMMAND, command, 0);
}

bool HasBothIcons(void* window) {
  const HWND handle = static_cast<HWND>(window);
  return SendMessageW(handle, WM_GETICON, ICON_BIG, 0) != 0 &&
         SendMessageW(handle, WM_GETICON, ICON_SMALL, 0) != 0;
}

bool PortIsFree(const char* path) {
  const HANDLE port =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) return false;
  CloseHandle(port);
  return true;
}

}  // namespace vannor::uitest
