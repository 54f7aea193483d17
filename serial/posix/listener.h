// The listener thread on Linux: waits on the open port with epoll (edge-triggered, one report
// per arrival) together with an eventfd that releases the wait, and posts a notification for
// every arrival. It reads the port's handle only under the port lock.
#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "serial/comm_notify_target.h"
#include "serial/listener_point.h"
#include "serial/posix/posix_port.h"

namespace vannor {

class PosixListener {
 public:
  PosixListener(PosixPort& port, std::mutex& portLock) : port_(port), portLock_(portLock) {}
  PosixListener(const PosixListener&) = delete;
  PosixListener& operator=(const PosixListener&) = delete;
  ~PosixListener() { Stop(); }

  // Sets mainWindow, then starts the thread. False, with the reason in errno, when the thread or
  // its wait set cannot be made. The stop flag is cleared first, as the window's initialisation
  // does.
  bool Start(CommNotifyTarget& mainWindow);
  // Sets the stop flag, releases the wait and joins the thread. Safe to call again.
  void Stop();
  bool Running() const { return started_; }

  void ReleaseWait();
  // Takes port out of the wait set before it is closed. Call under the port lock (or with no
  // listener running). The kernel may be polling the port for the listener at the very moment
  // of the close and then hold the last reference to it, and with it the port's lock, for a
  // while after close returns; a reopen right after would find the port taken. Once the port is
  // out of the set, the close is the last reference and releases the lock before it returns.
  void Withdraw(int port);

  std::chrono::nanoseconds CpuTime() const;
  // Set only while no listener runs.
  void SetPauseHook(ListenerPauseHook hook) { pauseHook_ = hook; }

 private:
  static void* ThreadMain(void* self);
  void Run();
  void CloseDescriptors();

  PosixPort& port_;
  std::mutex& portLock_;
  CommNotifyTarget* mainWindow_ = nullptr;
  std::atomic<std::int32_t> stopListener_{0};
  ListenerPauseHook pauseHook_ = nullptr;
  // The wait set: the eventfd always, the open port while it can still deliver bytes.
  int epollFd_ = -1;
  // Written by the port switch and the stop sequence to release the wait.
  int wakeFd_ = -1;
  pthread_t thread_{};
  bool started_ = false;
};

}  // namespace vannor
