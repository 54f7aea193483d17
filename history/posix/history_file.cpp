#include "history/history_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "history/history_log.h"

namespace vannor {

namespace {

// The history names people and machines: only its user may read it.
constexpr mode_t FILE_MODE = 0600;
constexpr mode_t FOLDER_MODE = 0700;
// A file that moved away while this writer waited for its lock is opened again under the name;
// more moves than this in one append mean something else keeps moving it.
constexpr int OPEN_ATTEMPTS = 4;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  // Closing releases the lock; the line was written by then, or its failure told.
  ~Descriptor() {
    if (fd_ >= 0) (void)close(fd_);
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

std::string Reason() {
  return std::strerror(errno);
}

// Makes the folders of `path` that are missing, each private to the user.
bool MakeFolders(const std::string& path, std::string& problem) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), FOLDER_MODE) != 0 && errno != EEXIST) {
      problem = folder + ": " + Reason();
      return false;
    }
  }
  return true;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::string DefaultHistoryPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return std::string(state) + "/vannor/history.jsonl";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return {};
  return std::string(home) + "/.local/state/vannor/history.jsonl";
}

bool AppendHistoryLine(const std::string& path, std::string_view line, std::string& problem) {
  if (!MakeFolders(path, problem)) return false;
  for (int attempt = 0; attempt < OPEN_ATTEMPTS; ++attempt) {
    const Descriptor file(
        open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, FILE_MODE));
    if (file.Get() < 0) {
      problem = Reason();
      return false;
    }
    int locked;
    do {
      locked = flock(file.Get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    struct stat held, named;
    if (locked != 0 || fstat(file.Get(), &held) != 0) {
      problem = Reason();
      return false;
    }
    // Moved to the older name (or removed) by another writer meanwhile: the name's file is
    // the history now.
    if (stat(path.c_str(), &named) != 0 || !SameFile(held, named)) continue;
    if (held.st_size >= HISTORY_ROTATE_BYTES) {
      if (rename(path.c_str(), RotatedHistoryPath(path).c_str()) != 0) {
        problem = "cannot move it aside: " + Reason();
        return false;
      }
      continue;
    }
    // One write with O_APPEND: the line lands whole at the end, or the failure is told.
    const ssize_t written = write(file.Get(), line.data(), line.size());
    if (written == static_cast<ssize_t>(line.size())) return true;
    // A full disk took part of it: cut back, under the lock still held. Should that fail too,
    // the torn line is one that readers skip.
    if (written > 0) (void)ftruncate(file.Get(), held.st_size);
    problem = written < 0 ? Reason() : "the disk took only part of the line";
    return false;
  }
  problem = "the file kept moving while it was written";
  return false;
}

std::string HostName() {
  char name[256] = {};
  // Cut short or failed: the record says no host rather than a wrong one.
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string UserName() {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[1024];
  if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  // A user the system's database does not list (a container): the name the session gives.
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}

}  // namespace vannor
