#include "history/history_append.h"

#include <thread>

#include "history/history_file.h"
#include "history/history_log.h"

namespace vannor {

namespace {

// A file that moved away while this writer waited for its lock is opened again under the name;
// more moves than this in one append mean something else keeps moving it.
constexpr int OPEN_ATTEMPTS = 4;

bool WaitForLock(HistoryFile& file, std::chrono::steady_clock::time_point giveUp,
                 const HistoryPause& pause, std::string& problem) {
  for (;;) {
    switch (file.TryLock()) {
      case HistoryFile::Lock::Held:
        return true;
      case HistoryFile::Lock::Failed:
        problem = file.Problem();
        return false;
      case HistoryFile::Lock::Busy:
        break;
    }
    if (std::chrono::steady_clock::now() >= giveUp) {
      problem = "another program held the file locked for more than " +
                std::to_string(HISTORY_LOCK_PATIENCE.count()) + " ms";
      return false;
    }
    if (pause(HISTORY_LOCK_RETRY_MS)) {
      problem = "stopped while another program held the file locked";
      return false;
    }
  }
}

}  // namespace

bool SleepingPause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return false;
}

bool AppendHistoryLine(const std::string& path, std::string_view line, std::string& problem,
                       const HistoryPause& pause) {
  if (!MakeHistoryFolders(path, problem)) return false;
  const std::string rotated = RotatedHistoryPath(path);
  const auto giveUp = std::chrono::steady_clock::now() + HISTORY_LOCK_PATIENCE;
  for (int attempt = 0; attempt < OPEN_ATTEMPTS; ++attempt) {
    HistoryFile file(path, HistoryFile::Use::Append, rotated);
    if (!file.IsOpen()) {
      problem = file.Problem();
      return false;
    }
    if (!WaitForLock(file, giveUp, pause, problem)) return false;
    // Moved to the older name (or removed) by another writer meanwhile: the name's file is the
    // history now.
    if (!file.StillNamed(path)) continue;
    const std::int64_t size = file.Size();
    if (size < 0) {
      problem = file.Problem();
      return false;
    }
    if (size >= HISTORY_ROTATE_BYTES) {
      const MoveAside moved = MoveHistoryAside(path, rotated, problem);
      if (moved == MoveAside::Moved) continue;
      if (moved == MoveAside::Failed) return false;
      problem.clear();
    }
    // A last line cut short (a crash, a file copied short) would swallow this one: it starts on
    // a line of its own, and the broken one stays a line that readers count as unreadable.
    std::string whole;
    if (!file.EndsLine(size)) whole = "\n";
    whole.append(line);
    const long long written = file.WriteAt(whole.data(), whole.size(), size);
    if (written == static_cast<long long>(whole.size())) return true;
    // A full disk took part of it: cut back, under the lock still held. Should that fail too,
    // the torn line is one that readers count and skip, and the next line starts anew.
    if (written > 0) (void)file.CutTo(size);
    problem = written < 0 ? file.Problem() : "the disk took only part of the line";
    return false;
  }
  problem = "the file kept moving while it was written";
  return false;
}

}  // namespace vannor
