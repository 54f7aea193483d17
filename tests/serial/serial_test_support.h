// What the Linux serial tests share: a real pseudo-terminal standing in for the radio's end of
// the cable, a temporary port map, and a descriptor count to catch leaks.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "serial/line.h"
#include "serial/linux/linux_port.h"
#include "testing/scoped_env.h"
#include "testing/temp_dir.h"
#include "tests/serial/line_contract.h"

namespace vannor::test {

using testkit::AllByteValues;
using testkit::ScopedEnv;
using testkit::TempDir;

// Waits until fd has something to read, for at most limit; false on time-out or error.
inline bool WaitReadable(int fd, std::chrono::milliseconds limit = 5000ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, static_cast<int>(limit.count())) == 1 && (p.revents & POLLIN) != 0;
}

// The radio's end of a cable: the master of a pseudo-terminal. The slave that openpty hands
// back stays open but untouched, like the device node of a real port; nobody ever sets the
// master's line settings, since on Linux that would change the slave's and hide a raw-mode
// fault.
class FarEnd {
 public:
  FarEnd() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    slavePath_ = ttyname(slave_) != nullptr ? ttyname(slave_) : "";
    (void)fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK | O_CLOEXEC);
    (void)fcntl(slave_, F_SETFD, FD_CLOEXEC);
  }
  ~FarEnd() {
    HangUp();
    if (slave_ >= 0) close(slave_);
  }
  FarEnd(const FarEnd&) = delete;
  FarEnd& operator=(const FarEnd&) = delete;

  bool Ok() const { return master_ >= 0 && !slavePath_.empty(); }
  int Master() const { return master_; }
  int Slave() const { return slave_; }
  const std::string& SlavePath() const { return slavePath_; }

  // Closing the master hangs the line up, as an unplugged adapter does.
  void HangUp() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  bool Write(const Bytes& bytes) {
    std::size_t done = 0;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EAGAIN && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
      } else if (!(n < 0 && errno == EINTR)) {
        return false;
      }
    }
    return true;
  }

  // Reads exactly count bytes, waiting at most `limit` for each; fewer on time-out.
  Bytes Read(std::size_t count, std::chrono::milliseconds limit = 5000ms) {
    return ReadFrom(master_, count, limit);
  }

  static Bytes ReadFrom(int fd, std::size_t count, std::chrono::milliseconds limit = 5000ms) {
    Bytes got;
    std::uint8_t buffer[512];
    while (got.size() < count && WaitReadable(fd, limit)) {
      const std::size_t want = std::min(sizeof buffer, count - got.size());
      const ssize_t n = read(fd, buffer, want);
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// A private configuration folder whose ports/COMn links the tests set; XDG_CONFIG_HOME points
// at it while the object lives.
class PortMap {
 public:
  PortMap() {
    std::error_code error;  // Map then fails, and with it the test
    std::filesystem::create_directories(Folder(), error);
  }

  std::string Folder() const { return dir_.Path() + "/vannor/ports"; }
  std::string LinkFor(int index) const { return Folder() + "/COM" + std::to_string(index + 1); }

  // Points port index (0 for COM1) at target, which need not exist.
  bool Map(int index, const std::string& target) {
    std::error_code ignored;  // no old link is the usual case
    std::filesystem::remove(LinkFor(index), ignored);
    std::error_code error;
    std::filesystem::create_symlink(target, LinkFor(index), error);
    return !error;
  }

 private:
  TempDir dir_;
  ScopedEnv configHome_{"XDG_CONFIG_HOME", dir_.Path().c_str()};
};

inline int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
  }
  return count;
}

// Whether another program could take the port at path now (its flock is free).
inline bool PortIsFree(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return free;
}

// The descriptor of the line's open port, or NO_DESCRIPTOR.
inline int PortHandleOf(Line& line) {
  return static_cast<LinuxPort&>(line.Backend()).Handle();
}

// Whether the line's open port is the device at path.
inline bool PortIs(Line& line, const std::string& path) {
  struct stat open {
  }, named{};
  return PortHandleOf(line) != NO_DESCRIPTOR && fstat(PortHandleOf(line), &open) == 0 &&
         stat(path.c_str(), &named) == 0 && open.st_rdev == named.st_rdev;
}

// Everything the engine would read at the line, gathered until count bytes came or nothing more
// does.
inline Bytes ReadAtPort(Line& line, std::size_t count) {
  Bytes got;
  while (got.size() < count) {
    // The port may already hold what the descriptor told of before.
    std::size_t waiting = line.PendingCount();
    if (waiting == 0) {
      if (!WaitReadable(PortHandleOf(line))) break;
      waiting = line.PendingCount();
    }
    std::uint8_t buffer[100];
    const std::size_t n = line.Read(buffer, std::min(waiting, sizeof buffer));
    if (n == 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

}  // namespace vannor::test
