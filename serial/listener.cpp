#include "serial/listener.h"

#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#include "protocol/link_state.h"
#include "serial/listener_test_hook.h"
#include "serial/listener_wake.h"
#include "serial/serial_port.h"

namespace vannor {

std::atomic<void (*)(ListenerPoint)> listenerPauseHook{nullptr};

namespace {

// The running listener's eventfd and wait set; -1 while there is none.
std::atomic<int> listenerWakeFd{-1};
std::atomic<int> listenerEpollFd{-1};

constexpr std::uint32_t WAKE_TAG = 0;
constexpr std::uint32_t PORT_TAG = 1;

void CloseIfOpen(int fd) {
  // Ignored: the descriptor is released whatever close reports, and it carried no data.
  if (fd >= 0) (void)close(fd);
}

}  // namespace

ListenerThread::~ListenerThread() {
  int ours = wakeFd_;
  listenerWakeFd.compare_exchange_strong(ours, -1);
  ours = epollFd_;
  listenerEpollFd.compare_exchange_strong(ours, -1);
  CloseIfOpen(epollFd_);
  CloseIfOpen(wakeFd_);
}

namespace {

// The port the listener's wait set holds, and which handle of the switch's it was.
struct PortWatch {
  bool known = false;  // false until the first pass has looked at portHandle
  std::uint32_t generation = 0;
  PortHandle fd = INVALID_PORT_HANDLE;
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

void Watch(int epollFd, PortWatch& watch, PortHandle port, std::uint32_t generation) {
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

// Brings the wait set up to date with portHandle. Runs under portLock, so the descriptor it
// adds is the open port and not one the switch has closed meanwhile.
void FollowPort(int epollFd, PortWatch& watch) {
  const std::uint32_t generation = PortGeneration();
  if (!watch.known || watch.generation != generation) {
    Unwatch(epollFd, watch);
    Watch(epollFd, watch, linkState.portHandle, generation);
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

void Pause(ListenerPoint point) {
  if (void (*hook)(ListenerPoint) = listenerPauseHook.load()) hook(point);
}

}  // namespace

void* ListenerMain(void* parameter) {
  const ListenerThread& self = *static_cast<const ListenerThread*>(parameter);
  PortWatch watch;
  // Whether the eventfd may be set. It is cleared only together with the copy of portHandle,
  // and only after a wait reported it: one read less per received byte. A release that comes
  // in between stays set, and the next wait returns at once.
  bool released = true;
  while (linkState.stopListener.load() == 0) {
    Pause(ListenerPoint::BeforeCopy);
    {
      std::lock_guard<std::mutex> lock(linkState.portLock);
      if (released) DrainWake(self.wakeFd_);
      FollowPort(self.epollFd_, watch);
    }
    // The drain may have taken the release of a stop that began after the test above.
    if (linkState.stopListener.load() != 0) break;
    Pause(ListenerPoint::BeforeWait);
    const WaitResult result = WaitForPort(self.epollFd_, watch);
    if (result.failed) break;
    released = result.released;
    if (result.portEvent) linkState.mainWindow->PostCommNotify();
  }
  return nullptr;
}

void ReleaseListenerWait() {
  const int fd = listenerWakeFd.load();
  if (fd < 0) return;
  const std::uint64_t one = 1;
  // Ignored: the only failure of a non-blocking eventfd write is a counter already at its
  // maximum, which releases the wait just as well.
  (void)write(fd, &one, sizeof one);
}

void WithdrawPortFromListener(PortHandle port) {
  const int epollFd = listenerEpollFd.load();
  if (epollFd < 0 || port == INVALID_PORT_HANDLE) return;
  // ENOENT when the listener never added this port or already dropped it after a hang-up.
  (void)epoll_ctl(epollFd, EPOLL_CTL_DEL, port, nullptr);
}

std::unique_ptr<ListenerThread> StartListener(CommNotifyTarget& mainWindow) {
  linkState.mainWindow = &mainWindow;
  auto listener = std::make_unique<ListenerThread>();
  listener->epollFd_ = epoll_create1(EPOLL_CLOEXEC);
  listener->wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (listener->epollFd_ < 0 || listener->wakeFd_ < 0) return nullptr;
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u32 = WAKE_TAG;
  if (epoll_ctl(listener->epollFd_, EPOLL_CTL_ADD, listener->wakeFd_, &event) != 0) return nullptr;
  listenerWakeFd.store(listener->wakeFd_);
  listenerEpollFd.store(listener->epollFd_);
  if (pthread_create(&listener->thread_, nullptr, ListenerMain, listener.get()) != 0) {
    return nullptr;  // the destructor withdraws both descriptors again
  }
  listener->started_ = true;
  return listener;
}

void StopLink(std::unique_ptr<ListenerThread>& listener) {
  linkState.stopListener.store(1);
  ReleaseListenerWait();
  if (listener != nullptr && listener->started_) {
    // Ignored: joining our own, joinable thread fails only on a programming error.
    (void)pthread_join(listener->thread_, nullptr);
  }
  listener.reset();
  ClosePort();
}

void OnEnd(DialogCloser& dialog, std::unique_ptr<ListenerThread>& listener) {
  StopLink(listener);
  dialog.EndDialogOk();
}

void OnCancelClose(DialogCloser& dialog, std::unique_ptr<ListenerThread>& listener) {
  StopLink(listener);
  dialog.EndDialogCancel();
}

std::chrono::nanoseconds ListenerCpuTime(const ListenerThread& listener) {
  clockid_t clock;
  timespec used;
  if (!listener.started_ || pthread_getcpuclockid(listener.thread_, &clock) != 0 ||
      clock_gettime(clock, &used) != 0) {
    return std::chrono::nanoseconds(-1);
  }
  return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
}

}  // namespace vannor
