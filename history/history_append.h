// The append of one line to the history, shared by every system: opened so that nothing the
// user can point at holds us, locked for a bounded time, moved aside when big, and never glued
// to a line a crash cut short.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vannor {

// Past this size the history moves to its older name before the next line.
inline constexpr std::int64_t HISTORY_ROTATE_BYTES = 10 * 1024 * 1024;
// How long a writer waits for another program's lock before its record is told as not kept.
inline constexpr std::chrono::milliseconds HISTORY_LOCK_PATIENCE{1500};
// How often the lock is tried again meanwhile.
inline constexpr int HISTORY_LOCK_RETRY_MS = 10;

// Waits up to `ms` between two tries of the lock; true when the program is to end instead (a
// signal came). The plain pause only sleeps.
using HistoryPause = std::function<bool(int ms)>;
bool SleepingPause(int ms);

// Appends `line` (which ends in a newline) to the file at `path` with one write, under the
// file's exclusive lock, so that lines from several programs never mix. Missing folders are made
// (private to the user), and so is the file; a file past HISTORY_ROTATE_BYTES first moves to
// RotatedHistoryPath, unless this user may not move it (then the line goes in all the same).
// False, with why in `problem`, when it failed.
bool AppendHistoryLine(const std::string& path, std::string_view line, std::string& problem,
                       const HistoryPause& pause = SleepingPause);

}  // namespace vannor
