// What the window tests ask Windows itself, apart from the toolkit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vannor {
class Line;
}

namespace vannor::uitest {

struct MenuEntry {
  bool separator = false;
  unsigned command = 0;
  std::string text;  // UTF-8
};

// The entries of the window's system menu, top to bottom.
std::vector<MenuEntry> SystemMenuEntries(void* window);
// Whether the system menu's entry `command` can be chosen when the menu opens now.
bool SystemMenuEntryEnabled(void* window, unsigned command);
// Sends WM_SYSCOMMAND with command, as choosing a system-menu entry does.
void SendSystemCommand(void* window, unsigned command);
// Whether the window has its large and its small icon.
bool HasBothIcons(void* window);
// Screen points of a combo box's parts, for real clicks: the middle of its drop-down button,
// and of row `row` of its list while the list is dropped down. False when there is no such part.
bool ComboButtonPoint(void* combo, int& x, int& y);
bool ComboRowPoint(void* combo, int row, int& x, int& y);
// Whether the combo box's list is dropped down.
bool ComboDropped(void* combo);
// Counts the opens and closes of the line's port: a reopen of the same port changes it.
std::uint32_t PortGeneration(Line& line);
// FTDI's driver setting LatencyTimer for an adapter behind COMn, as the registry keeps it, and
// its removal.
bool SetFtdiLatencyTimer(int comPort, unsigned ms);
void RemoveFtdiLatencyTimer();

// Standard error of this process, caught in a file while the object lives.
class CapturedStderr {
 public:
  CapturedStderr();
  ~CapturedStderr();
  CapturedStderr(const CapturedStderr&) = delete;
  CapturedStderr& operator=(const CapturedStderr&) = delete;
  std::string Text();

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

// Whether the port opens for another program (no sharing): nobody holds it.
bool PortIsFree(const char* path);

}  // namespace vannor::uitest
