#include "history/history_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vannor {

namespace {

// The history names people and machines: unless the older file beside it says otherwise (a
// bench's shared file), only its user may read it.
constexpr mode_t FILE_MODE = 0600;
constexpr mode_t FOLDER_MODE = 0700;

std::string Reason(int error) {
  // A link is refused rather than followed: a planted one could send the records elsewhere.
  if (error == ELOOP) return "a symbolic link, which is not followed";
  return std::strerror(error);
}

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

// The user's home as the password database has it: HOME may be unset (env -i) or relative.
std::string DatabaseHome() {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr || found->pw_dir[0] != '/') {
    return {};
  }
  return found->pw_dir;
}

}  // namespace

std::string DefaultHistoryPath(std::string& problem) {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return std::string(state) + "/vannor/history.jsonl";
  const char* home = std::getenv("HOME");
  const std::string folder = home != nullptr && home[0] == '/' ? home : DatabaseHome();
  if (folder.empty()) {
    problem =
        "no home folder (HOME is unset or not absolute, and the password database names "
        "none for this user)";
    return {};
  }
  return folder + "/.local/state/vannor/history.jsonl";
}

HistoryFile::HistoryFile(const std::string& path, Use use, const std::string& like) {
  // Without waiting: a FIFO with no other end, or a device, returns at once and is refused below.
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  const int access = use == Use::Read ? O_RDONLY : O_RDWR | O_APPEND;
  int fd = open(path.c_str(), access | flags);
  if (fd < 0 && errno == ENOENT && use == Use::Append) {
    struct stat older {};
    const bool shaped = !like.empty() && lstat(like.c_str(), &older) == 0 && S_ISREG(older.st_mode);
    fd = open(path.c_str(), access | flags | O_CREAT | O_EXCL, FILE_MODE);
    if (fd >= 0 && shaped) {
      // The older file's mode whatever this user's umask, and its group where this user is in
      // it: a bench's shared file stays shared after it moved aside. Failing that, the file stays
      // private, which the next writer of the bench is told as its own failure.
      (void)fchmod(fd, older.st_mode & 0666);
      (void)fchown(fd, static_cast<uid_t>(-1), older.st_gid);
    } else if (fd < 0 && errno == EEXIST) {
      // Another writer made it meanwhile: theirs is the history.
      fd = open(path.c_str(), access | flags);
    }
  }
  if (fd < 0) {
    missing_ = errno == ENOENT;
    problem_ = Reason(errno);
    return;
  }
  handle_ = fd;
  struct stat facts {};
  if (fstat(fd, &facts) != 0) {
    Failed();
  } else if (!S_ISREG(facts.st_mode)) {
    problem_ = S_ISDIR(facts.st_mode) ? Reason(EISDIR) : "not a regular file";
  } else {
    return;
  }
  (void)close(fd);  // refused: nothing was written through it
  handle_ = CLOSED;
}

HistoryFile::~HistoryFile() {
  // Closing releases the lock; the line was written by then, or its failure told.
  if (IsOpen()) (void)close(Fd(handle_));
}

void HistoryFile::Failed() {
  problem_ = Reason(errno);
}

HistoryFile::Lock HistoryFile::TryLock() {
  if (flock(Fd(handle_), LOCK_EX | LOCK_NB) == 0) return Lock::Held;
  if (errno == EWOULDBLOCK || errno == EINTR) return Lock::Busy;
  Failed();
  return Lock::Failed;
}

std::int64_t HistoryFile::Size() {
  struct stat facts {};
  if (fstat(Fd(handle_), &facts) == 0) return facts.st_size;
  Failed();
  return -1;
}

bool HistoryFile::StillNamed(const std::string& path) {
  struct stat held {
  }, named{};
  return fstat(Fd(handle_), &held) == 0 && lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

bool HistoryFile::EndsLine(std::int64_t size) {
  char last = '\n';
  // A byte that cannot be read counts as no line's end: at worst the line begins with a blank one.
  return size == 0 || (pread(Fd(handle_), &last, 1, size - 1) == 1 && last == '\n');
}

long long HistoryFile::WriteAt(const char* bytes, std::size_t count, std::int64_t /*offset*/) {
  // Opened to append: the one write lands whole at the end, which under the lock is `offset`.
  const ssize_t written = write(Fd(handle_), bytes, count);
  if (written < 0) Failed();
  return written;
}

bool HistoryFile::CutTo(std::int64_t size) {
  if (ftruncate(Fd(handle_), size) == 0) return true;
  Failed();
  return false;
}

long long HistoryFile::Read(char* buffer, std::size_t count) {
  ssize_t got;
  do {
    got = read(Fd(handle_), buffer, count);
  } while (got < 0 && errno == EINTR);
  if (got < 0) Failed();
  return got;
}

long long HistoryFile::ReadAt(char* buffer, std::size_t count, std::int64_t offset) {
  ssize_t got;
  do {
    got = pread(Fd(handle_), buffer, count, offset);
  } while (got < 0 && errno == EINTR);
  if (got < 0) Failed();
  return got;
}

bool MakeHistoryFolders(const std::string& path, std::string& problem) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), FOLDER_MODE) != 0 && errno != EEXIST) {
      problem = folder + ": " + Reason(errno);
      return false;
    }
  }
  return true;
}

MoveAside MoveHistoryAside(const std::string& path, const std::string& rotated,
                           std::string& problem) {
  if (rename(path.c_str(), rotated.c_str()) == 0) return MoveAside::Moved;
  problem = "cannot move it aside: " + Reason(errno);
  // A sticky folder keeps another user's file where it is: its owner moves it in a later run.
  return errno == EPERM || errno == EACCES ? MoveAside::NotAllowed : MoveAside::Failed;
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
  char buffer[4096];
  if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  // A user the system's database does not list (a container): the name the session gives.
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}

}  // namespace vannor
