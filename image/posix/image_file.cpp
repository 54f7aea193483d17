#include "image/image_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "image/image_loader.h"

namespace vannor {

namespace {

constexpr long long NS_PER_SECOND = 1000000000LL;

long long Nanoseconds(const timespec& time) {
  return static_cast<long long>(time.tv_sec) * NS_PER_SECOND + time.tv_nsec;
}

// File systems stamp files from the coarse clock, which moves a tick at a time, or (after a
// stat, on newer kernels) from the precise one.
long long ClockNs(clockid_t clock) {
  timespec now{};
  // Cannot fail for the clocks used here; a zero makes every stamp look recent, which costs one
  // more read at most.
  (void)clock_gettime(clock, &now);
  return Nanoseconds(now);
}

FileStamp StampFrom(const struct stat& file) {
  return FileStamp{.device = static_cast<std::uint64_t>(file.st_dev),
                   .file = static_cast<std::uint64_t>(file.st_ino),
                   .size = static_cast<long long>(file.st_size),
                   .modifiedNs = Nanoseconds(file.st_mtim),
                   .changedNs = Nanoseconds(file.st_ctim)};
}

constexpr long long SETTLE_NS = IMAGE_SETTLE_MS * 1000000LL;

// Until when a write may still be under way, or unseen, after the stamp's change time. File
// systems that keep whole seconds (FAT keeps two) stamp a write with the start of its second.
// No user can set a change time, so a write always moves it.
long long SettledAfterNs(const FileStamp& stamp) {
  const bool wholeSeconds =
      stamp.changedNs % NS_PER_SECOND == 0 && stamp.modifiedNs % NS_PER_SECOND == 0;
  return stamp.changedNs + (wholeSeconds ? 2 * NS_PER_SECOND : 0) + SETTLE_NS;
}

enum class Writers { None, Some, Unknown };

// Whether any program holds the open file open for writing now: a read lease is granted only
// while none does. Not the owner, or a file system without leases (a network one): Unknown.
Writers WritersOf(int fd) {
  // The lease's break, should a writer open the file in the moment it is held, is told by a
  // signal whose default is to be ignored, so that it can end nothing.
  if (fcntl(fd, F_SETSIG, SIGURG) != 0 || fcntl(fd, F_SETLEASE, F_RDLCK) != 0) {
    return errno == EAGAIN ? Writers::Some : Writers::Unknown;
  }
  // Dropped at once: the stamps tell a write that starts after this.
  (void)fcntl(fd, F_SETLEASE, F_UNLCK);  // cannot fail on a lease just taken; close drops it too
  return Writers::None;
}

}  // namespace

ImageFile::~ImageFile() {
  // The file was only read: a failing close loses nothing.
  if (fd_ >= 0) (void)close(fd_);
}

bool ImageFile::Open(const std::string& path) {
  heldForWriting_ = false;
  writersRuledOut_ = false;
  openedNs_ = ClockNs(CLOCK_REALTIME_COARSE);
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
  fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    // Out of descriptors, no permission, missing: the system says which.
    problem_ = std::strerror(errno);
    return false;
  }
  struct stat file;
  if (fstat(fd_, &file) != 0) {
    problem_ = std::strerror(errno);
  } else if (S_ISREG(file.st_mode)) {
    const Writers writers = WritersOf(fd_);
    writersRuledOut_ = writers == Writers::None;
    heldForWriting_ = writers == Writers::Some;
    if (!heldForWriting_) return true;
    problem_ = "held open for writing";
  } else {
    problem_ = "not a regular file";
  }
  (void)close(fd_);  // see the destructor
  fd_ = -1;
  return false;
}

bool ImageFile::Stamp(FileStamp& stamp) const {
  struct stat file;
  if (fd_ < 0 || fstat(fd_, &file) != 0) return false;
  stamp = StampFrom(file);
  return true;
}

bool ImageFile::StampOf(const std::string& path, FileStamp& stamp) {
  struct stat file;
  if (stat(path.c_str(), &file) != 0) return false;
  stamp = StampFrom(file);
  return true;
}

bool ImageFile::ChangedTooRecently(const FileStamp& stamp) const {
  // A change time from the future cannot be given again by a write now: any write moves it.
  return SettledAfterNs(stamp) >= openedNs_ && stamp.changedNs <= ClockNs(CLOCK_REALTIME);
}

long long ImageFile::ReadSome(std::uint8_t* buffer, std::size_t count) {
  if (fd_ < 0) return -1;
  for (;;) {
    const ssize_t got = read(fd_, buffer, count);
    if (got < 0 && errno == EINTR) continue;
    return static_cast<long long>(got);
  }
}

}  // namespace vannor
