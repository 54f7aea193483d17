// What each system does its own way for the history (posix/history_file.cpp,
// win32/history_file.cpp): where the per-user file is, and the small steps on a file that the
// shared append (history_append.cpp) and reader (history_reader.cpp) are made of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vannor {

// The per-user history: $XDG_STATE_HOME/vannor/history.jsonl, else ~/.local/state/... with the
// home from $HOME or, when that is unset or not absolute, from the password database, on Linux;
// %LOCALAPPDATA%\Vannor\history.jsonl on Windows. Empty, with why in `problem`, when the system
// names no such folder.
std::string DefaultHistoryPath(std::string& problem);

// This machine's name and the user's, as the system tells them; empty when it does not.
std::string HostName();
std::string UserName();

// An open history file; closing it releases its lock.
class HistoryFile {
 public:
  enum class Use {
    Read,    // an existing file, read only
    Append,  // read and written; made when missing (private to the user, or shaped like the
             // older file beside it when there is one: its mode and group on Linux)
  };
  // Opens `path` without waiting (a FIFO or a device cannot hold us) and without following a
  // final link, then refuses all but a regular file. `like` is the older file a new one copies.
  HistoryFile(const std::string& path, Use use, const std::string& like = {});
  ~HistoryFile();
  HistoryFile(const HistoryFile&) = delete;
  HistoryFile& operator=(const HistoryFile&) = delete;

  bool IsOpen() const { return handle_ != CLOSED; }
  // When it is not open: whether the file was missing, and why it could not be opened.
  bool Missing() const { return missing_; }
  const std::string& Problem() const { return problem_; }

  enum class Lock { Held, Busy, Failed };
  // Tries once for the exclusive lock without waiting.
  Lock TryLock();
  // The size now; -1 on failure (the reason in Problem).
  std::int64_t Size();
  // Whether the name `path` still leads to this file (another writer may have moved it).
  bool StillNamed(const std::string& path);
  // Whether the byte before `size` is a line's end (true for an empty file).
  bool EndsLine(std::int64_t size);
  // Writes `count` bytes at `offset` in one call; the bytes written, or -1 (reason in Problem).
  long long WriteAt(const char* bytes, std::size_t count, std::int64_t offset);
  // Cuts the file back to `size`.
  bool CutTo(std::int64_t size);
  // Reads up to `count` bytes from where the last read ended; 0 at the end, -1 on failure.
  long long Read(char* buffer, std::size_t count);
  // Reads up to `count` bytes at `offset`, leaving the place of Read as it was; as Read.
  long long ReadAt(char* buffer, std::size_t count, std::int64_t offset);

 private:
  static constexpr std::intptr_t CLOSED = -1;
  void Failed();

  std::intptr_t handle_ = CLOSED;
  bool missing_ = false;
  std::string problem_;
};

// Makes the folders of `path` that are missing, each private to the user.
bool MakeHistoryFolders(const std::string& path, std::string& problem);

enum class MoveAside { Moved, NotAllowed, Failed };
// Moves the file at `path` to `rotated` (replacing it). NotAllowed: this user may not move it (a
// sticky folder, another's file); the file stays where it is.
MoveAside MoveHistoryAside(const std::string& path, const std::string& rotated,
                           std::string& problem);

}  // namespace vannor
