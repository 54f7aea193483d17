#include "serial/posix/listener.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace vannor {

namespace {

constexpr std::uint32_t WAKE_TAG = 0;
constexpr std::uint32_t PORT_TAG = 1;

void CloseIfOpen(int& fd) {
  // Ignored: the descriptor is released whatever close reports, and it carried no data.
  if (fd >= 0) (void)close(fd);
  fd = -1;
}

// The port the listener's wait set holds, and which handle of the switch's it was.
struct PortWatch {
  bool known = false;  // false until the first pass has looked at the port handle
  std::uint32_t generation = 0;
  int fd = INVALID_PORT_HANDLE;
  bool registered = false;
  bool hungUp = false;
};

void DrainWake(int wakeFd) {
  std::uint64_t count;
  // EAGAIN when nobody released the wait since the last pass: nothing to clear.
  (void)read(wakeFd, &count, sizeof count);
}

void Unwatch(int epollFd, PortWatch& watch) {
  if (watch.registered) {
    // ENOENT or EBADF when the switch has closed the port: it withdrew it already.
    (void)epoll_ctl(epollFd, EPOLL_CTL_DEL, watch.fd, nullptr);
  }
  watch.registered = false;
}

void Watch(int epollFd, PortWatch& watch, int port, std::uint32_t generation) {
  watch = PortWatch{.known = true, .generation = generation, .fd = port};
  if (port == INVALID_PORT_HANDLE) return;
  // Edge-triggered: one report per arrival, none for bytes that merely stay unread until the
  // window thread reads them. Bytes already waiting are reported once, right after the add.
  epoll_event event{};
  event.events = EPOLLIN | EPOLLET;
  event.data.u32 = PORT_TAG;
  // On failure the listener waits on the eventfd alone: the engine's time-out then reports
  // the silent port, and the next switch tries again.
  watch.registered = epoll_ctl(epollFd, EPOLL_CTL_ADD, port, &event) == 0;
}

// Brings the wait set up to date with the port. Runs under the port lock, so the descriptor it
// adds is the open port and not one the switch has closed meanwhile.
void FollowPort(int epollFd, PortWatch& watch, const PosixPort& port) {
  const std::uint32_t generation = port.Generation();
  if (!watch.known || watch.generation != generation) {
    Unwatch(epollFd, watch);
    Watch(epollFd, watch, port.Handle(), generation);
  } else if (watch.hungUp) {
    // A port that hung up reports so at every wait: wait on the eventfd alone until a switch.
    Unwatch(epollFd, watch);
  }
}

// What one wait reported.
struct WaitResult {
  bool portEvent = false;  // something the window must look at
  bool released = false;   // the eventfd was set
  bool failed = false;     // the wait set itself is broken
};

WaitResult WaitForPort(int epollFd, PortWatch& watch) {
  WaitResult result;
  epoll_event events[2];
  const int ready = epoll_wait(epollFd, events, 2, -1);
  if (ready < 0) {
    // Anything but a signal means the wait set itself is broken: looping would spin.
    result.failed = errno != EINTR;
    return result;
  }
  for (int i = 0; i < ready; ++i) {
    if (events[i].data.u32 != PORT_TAG) {
      result.released = true;
      continue;
    }
    result.portEvent = true;
    // The far end hung up or the adapter went away: the window hears of it once, finds
    // nothing to read, and the exchange in progress ends at its time-out.
    if ((events[i].events & (EPOLLHUP | EPOLLERR)) != 0) watch.hungUp = true;
  }
  return result;
}

}  // namespace

void* PosixListener::ThreadMain(void* self) {
  static_cast<PosixListener*>(self)->Run();
  return nullptr;
}

void PosixListener::Run() {
  PortWatch watch;
  // Whether the eventfd may be set. It is cleared only together with the copy of the port
  // handle, and only after a wait reported it: one read less per received byte. A release that
  // comes in between stays set, and the next wait returns at once.
  bool released = true;
  while (stopListener_.load() == 0) {
    if (pauseHook_ != nullptr) pauseHook_(ListenerPoint::BeforeCopy);
    {
      std::lock_guard<std::mutex> lock(portLock_);
      if (released) DrainWake(wakeFd_);
      FollowPort(epollFd_, watch, port_);
    }
    // The drain may have taken the release of a stop that began after the test above.
    if (stopListener_.load() != 0) break;
    if (pauseHook_ != nullptr) pauseHook_(ListenerPoint::BeforeWait);
    const WaitResult result = WaitForPort(epollFd_, watch);
    if (result.failed) break;
    released = result.released;
    if (result.portEvent) mainWindow_->PostCommNotify();
  }
}

void PosixListener::ReleaseWait() {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  // Ignored: the only failure of a non-blocking eventfd write is a counter already at its
  // maximum, which releases the wait just as well.
  (void)write(wakeFd_, &one, sizeof one);
}

void PosixListener::Withdraw(int port) {
  if (epollFd_ < 0 || port == INVALID_PORT_HANDLE) return;
  // ENOENT when the listener never added this port or already dropped it after a hang-up.
  (void)epoll_ctl(epollFd_, EPOLL_CTL_DEL, port, nullptr);
}

bool PosixListener::Start(CommNotifyTarget& mainWindow) {
  Stop();
  mainWindow_ = &mainWindow;
  stopListener_.store(0);
  epollFd_ = epoll_create1(EPOLL_CLOEXEC);
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u32 = WAKE_TAG;
  int error = 0;
  if (epollFd_ < 0 || wakeFd_ < 0 || epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &event) != 0) {
    error = errno;
  } else {
    error = pthread_create(&thread_, nullptr, ThreadMain, this);
  }
  if (error != 0) {
    CloseDescriptors();
    // The caller tells why the port goes unwatched; pthread_create reports without errno.
    errno = error;
    return false;
  }
  started_ = true;
  return true;
}

void PosixListener::Stop() {
  stopListener_.store(1);
  ReleaseWait();
  if (started_) {
    // Ignored: joining our own, joinable thread fails only on a programming error.
    (void)pthread_join(thread_, nullptr);
    started_ = false;
  }
  CloseDescriptors();
}

void PosixListener::CloseDescriptors() {
  CloseIfOpen(epollFd_);
  CloseIfOpen(wakeFd_);
}

std::chrono::nanoseconds PosixListener::CpuTime() const {
  clockid_t clock;
  timespec used;
  if (!started_) return std::chrono::nanoseconds(0);
  if (pthread_getcpuclockid(thread_, &clock) != 0 || clock_gettime(clock, &used) != 0) {
    return std::chrono::nanoseconds(-1);
  }
  return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
}

}  // namespace vannor
