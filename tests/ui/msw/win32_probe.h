// What the window tests ask Windows itself, apart from the toolkit.
#pragma once

#include <string>
#include <vector>

namespace vannor::uitest {

struct MenuEntry {
  bool separator = false;
  unsigned command = 0;
  std::string text;  // UTF-8
};

// The entries of the window's system menu, top to bottom.
std::vector<MenuEntry> SystemMenuEntries(void* window);
// Sends WM_SYSCOMMAND with command, as choosing a system-menu entry does.
void SendSystemCommand(void* window, unsigned command);
// Whether the window has its large and its small icon.
bool HasBothIcons(void* window);
// Whether the port opens for another program (no sharing): nobody holds it.
bool PortIsFree(const char* path);

}  // namespace vannor::uitest
