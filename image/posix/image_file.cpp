#include "image/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vannor {

ImageFile::~ImageFile() {
  // The file was only read: a failing close loses nothing.
  if (fd_ >= 0) (void)close(fd_);
}

bool ImageFile::Open(const std::string& path) {
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
    return true;
  } else {
    problem_ = "not a regular file";
  }
  (void)close(fd_);  // see the destructor
  fd_ = -1;
  return false;
}

long long ImageFile::Size() {
  struct stat file;
  if (fd_ < 0 || fstat(fd_, &file) != 0) return -1;
  return static_cast<long long>(file.st_size);
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
