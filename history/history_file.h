// Where the history is, and the append itself: what each platform does its own way
// (posix/history_file.cpp, win32/history_file.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vannor {

// Past this size the history moves to its older name before the next line.
inline constexpr std::int64_t HISTORY_ROTATE_BYTES = 10 * 1024 * 1024;

// The per-user history: $XDG_STATE_HOME/vannor/history.jsonl (~/.local/state/...) on Linux,
// %LOCALAPPDATA%\Vannor\history.jsonl on Windows; empty when the system names no such folder.
std::string DefaultHistoryPath();

// Appends `line` (which ends in a newline) to the file at `path` with one write, under an
// exclusive lock of the file, so that lines from several programs never mix. A missing folder
// is made (private to the user) and so is the file; a file past HISTORY_ROTATE_BYTES first
// moves to RotatedHistoryPath. False, with the system's words in `problem`, when it failed.
bool AppendHistoryLine(const std::string& path, std::string_view line, std::string& problem);

// This machine's name and the user's, as the system tells them; empty when it does not.
std::string HostName();
std::string UserName();

}  // namespace vannor
