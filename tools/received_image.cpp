#include "tools/received_image.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

namespace vannor::sim {

bool SaveReceivedImage(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::string part = path + ".part";
  const int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::uint8_t* next = bytes.data();
  std::size_t left = bytes.size();
  bool ok = true;
  while (ok && left > 0) {
    const ssize_t written = write(fd, next, left);
    if (written < 0 && errno == EINTR) continue;
    ok = written > 0;
    if (ok) {
      next += written;
      left -= static_cast<std::size_t>(written);
    }
  }
  // close reports a delayed write error on some file systems: the file is then not trusted.
  ok = close(fd) == 0 && ok;
  if (ok && rename(part.c_str(), path.c_str()) == 0) return true;
  // Ignored: the part file may already be gone; nothing else can be done about it.
  (void)unlink(part.c_str());
  return false;
}

}  // namespace vannor::sim
