// The listener thread, which turns bytes arriving on the open port into notifications for the
// window, and the stop sequence that ends it together with the port.
#pragma once

#include <pthread.h>

#include <chrono>
#include <memory>

#include "protocol/comm_notify_target.h"

namespace vannor {

class ListenerThread;

// Sets linkState.mainWindow, then starts the thread. linkState.stopListener must be 0 and the
// first port opened (or not) before. Returns null when the thread or its wait set cannot be
// made: the window then gets no notifications, and every exchange ends at its time-out.
std::unique_ptr<ListenerThread> StartListener(CommNotifyTarget& mainWindow);

// Sets stopListener, releases the listener wherever it is in its loop, waits for it to end,
// deletes the thread object and closes the port. Must not run while a port switch holds
// portLock. Safe to call again, and with no listener.
void StopLink(std::unique_ptr<ListenerThread>& listener);

// The dialog's default OK and cancel handling, which end the modal dialog.
class DialogCloser {
 public:
  virtual void EndDialogOk() = 0;
  virtual void EndDialogCancel() = 0;

 protected:
  ~DialogCloser() = default;
};

// End (the OK command): the stop sequence, then the dialog ends with OK.
void OnEnd(DialogCloser& dialog, std::unique_ptr<ListenerThread>& listener);
// Esc and the close control (the cancel command): the stop sequence, then cancel.
void OnCancelClose(DialogCloser& dialog, std::unique_ptr<ListenerThread>& listener);

// The one worker thread and what it waits with. Made by StartListener, deleted by StopLink.
class ListenerThread {
 public:
  ListenerThread() = default;
  ListenerThread(const ListenerThread&) = delete;
  ListenerThread& operator=(const ListenerThread&) = delete;
  ~ListenerThread();

 private:
  friend std::unique_ptr<ListenerThread> StartListener(CommNotifyTarget& mainWindow);
  friend void StopLink(std::unique_ptr<ListenerThread>& listener);
  friend std::chrono::nanoseconds ListenerCpuTime(const ListenerThread& listener);
  friend void* ListenerMain(void* parameter);

  // The wait set: the eventfd always, the open port while it can still deliver bytes.
  int epollFd_ = -1;
  // Written by the port switch and the stop sequence to release the wait.
  int wakeFd_ = -1;
  pthread_t thread_{};
  bool started_ = false;
};

// CPU time the listener thread has used so far; negative when it cannot be read. Lets tests and
// benchmarks show that the listener sleeps while nothing new arrives.
std::chrono::nanoseconds ListenerCpuTime(const ListenerThread& listener);

// The thread procedure; parameter is the ListenerThread it runs for.
void* ListenerMain(void* parameter);

}  // namespace vannor
