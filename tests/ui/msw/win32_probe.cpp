#include "tests/ui/msw/win32_probe.h"

#include <io.h>
#include <windows.h>
#include <wx/string.h>

#include "serial/line.h"
#include "serial/win32/win32_backend.h"

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

namespace {

bool MiddleOnScreen(HWND window, const RECT& rect, int& x, int& y) {
  POINT middle{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  if (!ClientToScreen(window, &middle)) return false;
  x = middle.x;
  y = middle.y;
  return true;
}

}  // namespace

bool ComboButtonPoint(void* combo, int& x, int& y) {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  const HWND handle = static_cast<HWND>(combo);
  return GetComboBoxInfo(handle, &info) && MiddleOnScreen(handle, info.rcButton, x, y);
}

bool ComboRowPoint(void* combo, int row, int& x, int& y) {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  RECT rect{};
  return GetComboBoxInfo(static_cast<HWND>(combo), &info) && info.hwndList != nullptr &&
         SendMessageW(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(row),
                      reinterpret_cast<LPARAM>(&rect)) != LB_ERR &&
         MiddleOnScreen(info.hwndList, rect, x, y);
}

bool ComboDropped(void* combo) {
  return SendMessageW(static_cast<HWND>(combo), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

namespace {

constexpr const wchar_t* FTDI_TEST_ADAPTER =
    L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+VANNORTEST";

}  // namespace

bool SystemMenuEntryEnabled(void* window, unsigned command) {
  const HWND handle = static_cast<HWND>(window);
  const HMENU menu = GetSystemMenu(handle, FALSE);
  // What Windows sends before it shows the menu (the last word: the system menu).
  SendMessageW(handle, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
  const UINT state = GetMenuState(menu, command, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

bool SetFtdiLatencyTimer(int comPort, unsigned ms) {
  const std::wstring parameters = std::wstring(FTDI_TEST_ADAPTER) + L"\\0000\\Device Parameters";
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, parameters.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring name = L"COM" + std::to_wstring(comPort);
  const DWORD timer = ms;
  const bool done =
      RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                     static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS &&
      RegSetValueExW(key, L"LatencyTimer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&timer),
                     sizeof timer) == ERROR_SUCCESS;
  RegCloseKey(key);
  return done;
}

void RemoveFtdiLatencyTimer() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, FTDI_TEST_ADAPTER);
}

CapturedStderr::CapturedStderr() {
  std::fflush(stderr);
  file_ = std::tmpfile();
  if (file_ == nullptr) return;
  saved_ = _dup(_fileno(stderr));
  if (saved_ >= 0) _dup2(_fileno(file_), _fileno(stderr));
}

CapturedStderr::~CapturedStderr() {
  std::fflush(stderr);
  if (saved_ >= 0) {
    _dup2(saved_, _fileno(stderr));
    _close(saved_);
  }
  if (file_ != nullptr) std::fclose(file_);
}

std::string CapturedStderr::Text() {
  std::string text;
  if (file_ == nullptr) return text;
  std::fflush(stderr);
  std::rewind(file_);
  char buffer[512];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;)
    text.append(buffer, n);
  return text;
}

std::uint32_t PortGeneration(Line& line) {
  return static_cast<Win32Backend&>(line.Backend()).PortGeneration();
}

bool PortIsFree(const char* path) {
  const HANDLE port =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) return false;
  CloseHandle(port);
  return true;
}

}  // namespace vannor::uitest
