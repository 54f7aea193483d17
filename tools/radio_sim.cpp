#include "tools/radio_sim.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

namespace vannor::sim {

namespace {

void WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    // Any other failure means the line is gone; the tool's time-out then reports the silence,
    // which is what a dead radio looks like.
    if (written <= 0) return;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
}

void SetCloseOnExec(int fd) {
  // Without it a program started by the test process would hold the line open; that only
  // delays a hang-up, so a failure here is not worth failing the start for.
  fcntl(fd, F_SETFD, FD_CLOEXEC);
}

}  // namespace

bool RadioSimulator::Start(const RadioConfig& config) {
  Stop();
  int master = -1;
  int slave = -1;
  // No settings are passed: the slave starts as the kernel makes it, and raw mode is the
  // tool's job, as it would be on a real port.
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return false;
  char name[128];
  if (ptsname_r(master, name, sizeof name) != 0) {
    close(master);
    close(slave);
    return false;
  }
  SetCloseOnExec(master);
  SetCloseOnExec(slave);
  // Stop's wake-up byte must never block, even on a line whose output has been stopped.
  const int flags = fcntl(slave, F_GETFL);
  if (flags < 0 || fcntl(slave, F_SETFL, flags | O_NONBLOCK) != 0) {
    close(master);
    close(slave);
    return false;
  }
  masterFd_ = master;
  slaveFd_ = slave;
  slavePath_ = name;
  device_ = false;
  return Launch(config);
}

bool RadioSimulator::StartDevice(const std::string& path, const RadioConfig& config) {
  Stop();
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  termios line;
  if (tcgetattr(fd, &line) != 0) {
    close(fd);
    return false;
  }
  cfmakeraw(&line);
  line.c_cflag |= CLOCAL | CREAD;
  // A read ends after 0.2 s of quiet, so the thread sees a stop request without a second fd.
  line.c_cc[VMIN] = 0;
  line.c_cc[VTIME] = 2;
  if (cfsetspeed(&line, B38400) != 0 || tcsetattr(fd, TCSANOW, &line) != 0) {
    close(fd);
    return false;
  }
  masterFd_ = fd;
  slaveFd_ = -1;
  slavePath_ = path;
  device_ = true;
  return Launch(config);
}

bool RadioSimulator::Launch(const RadioConfig& config) {
  {
    std::lock_guard lock(mutex_);
    session_ = RadioSession();
    session_.Configure(config);
    ended_ = EndedImage{};
    endedBytes_.clear();
    endedBytes_.reserve(RECORD_CAPACITY);
  }
  inboundFree_ = Clock::time_point{};
  outboundFree_ = Clock::time_point{};
  floodDue_ = Clock::time_point{};
  stopping_.store(false);
  running_.store(true, std::memory_order_release);
  if (config.powerUpLength > 0) {
    const std::size_t length = std::min<std::size_t>(config.powerUpLength, sizeof config.powerUp);
    // Queued in the line for whoever opens it next; a short write leaves less noise, which the
    // test that asked for it notices.
    (void)write(masterFd_, config.powerUp, length);
  }
  thread_ = std::thread(&RadioSimulator::Serve, this);
  return true;
}

bool RadioSimulator::MapPort(const std::string& configHome, int comNumber) {
  if (slavePath_.empty()) return false;
  return MapPortLink(configHome, comNumber, slavePath_, mapping_);
}

void RadioSimulator::Reconfigure(const RadioConfig& config) {
  std::lock_guard lock(mutex_);
  session_.Configure(config);
}

void RadioSimulator::Stop() {
  if (thread_.joinable()) {
    stopping_.store(true);
    { std::lock_guard lock(sleepMutex_); }
    sleepWake_.notify_all();
    {
      std::lock_guard lock(mutex_);
      if (slaveFd_ >= 0) {
        // The serving thread sits in a blocking read of the master; a byte written into the
        // slave ends it. If the tool left the line's output stopped the byte would wait
        // behind it, so start the output first; on failure the write below still tries.
        tcflow(slaveFd_, TCOON);
        const std::uint8_t wake = 0;
        // Fails only if the slave's output buffer is full, which means a read is about to
        // return anyway.
        (void)write(slaveFd_, &wake, 1);
      }
    }
    thread_.join();
  }
  CloseLine(false);
  UnmapPortLink(mapping_);
}

void RadioSimulator::CloseLine(bool hangUp) {
  std::lock_guard lock(mutex_);
  // Recorded before the close, so that whoever sees the line go already sees why.
  if (hangUp) session_.NoteHangUp();
  running_.store(false, std::memory_order_release);
  // close() on a tty can only fail with EINTR, after which Linux has closed it anyway.
  if (masterFd_ >= 0) close(masterFd_);
  if (slaveFd_ >= 0) close(slaveFd_);
  masterFd_ = -1;
  slaveFd_ = -1;
  changed_.notify_all();
}

void RadioSimulator::Serve() {
  // Paced bytes are timed by sleeps of a few hundred microseconds; the default timer slack
  // of 50 us would stretch every one of them.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);  // on failure pacing is only a little slower
  std::uint8_t buffer[256];
  while (!stopping_.load(std::memory_order_relaxed)) {
    if (!FloodUntilBytesCome()) return;
    const ssize_t count = read(masterFd_, buffer, sizeof buffer);
    if (stopping_.load(std::memory_order_relaxed)) return;
    if (count > 0) {
      ServeBytes(buffer, static_cast<std::size_t>(count));
      if (!running_.load(std::memory_order_relaxed)) return;
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count == 0 && device_) continue;  // quiet for 0.2 s: look at the stop flag again
    // The line is gone (a device unplugged); a pty cannot get here while its slave is held.
    std::lock_guard lock(mutex_);
    running_.store(false, std::memory_order_release);
    changed_.notify_all();
    return;
  }
}

bool RadioSimulator::FloodUntilBytesCome() {
  for (;;) {
    std::uint8_t flood = 0;
    bool flooding;
    {
      std::lock_guard lock(mutex_);
      flooding = session_.IdleFlood(flood);
    }
    if (!flooding) return true;
    if (stopping_.load(std::memory_order_relaxed)) return false;
    // Room in the line is asked for only when the next byte is due; a device gets a bounded
    // wait, so that a stop is seen without a wake-up byte.
    const Clock::time_point now = Clock::now();
    const bool sendNow = now >= floodDue_;
    const std::chrono::nanoseconds wait =
        sendNow ? std::chrono::nanoseconds(std::chrono::milliseconds(200)) : floodDue_ - now;
    const timespec timeout{.tv_sec = static_cast<time_t>(wait.count() / 1000000000),
                           .tv_nsec = static_cast<long>(wait.count() % 1000000000)};
    pollfd line{masterFd_, static_cast<short>(POLLIN | (sendNow ? POLLOUT : 0)), 0};
    // A failed wait: the read that follows tells what is wrong with the line.
    if (ppoll(&line, 1, &timeout, nullptr) < 0 && errno != EINTR) return true;
    if ((line.revents & (POLLIN | POLLHUP | POLLERR)) != 0) return true;
    if ((line.revents & POLLOUT) == 0) continue;
    // One byte fits wherever POLLOUT is told, so the write does not block.
    WriteAll(masterFd_, &flood, 1);
    floodDue_ = Clock::now() + BYTE_TIME_38400;
    std::lock_guard lock(mutex_);
    session_.NoteFloodSent();
  }
}

void RadioSimulator::ServeBytes(const std::uint8_t* bytes, std::size_t count) {
  const Clock::time_point received = Clock::now();
  for (std::size_t i = 0; i < count; ++i) {
    Clock::time_point arrival = received;
    RadioSession::Next next;
    Reply reply;
    std::uint32_t delayUs;
    bool pace;
    {
      std::lock_guard lock(mutex_);
      // Pacing is the line's, so it follows the configuration of the exchange in progress.
      pace = session_.Active().pace38400;
      if (pace) {
        arrival = std::max(received, inboundFree_) + BYTE_TIME_38400;
        inboundFree_ = arrival;
      }
      const RadioRecord before = session_.Record();
      next = session_.OnByte(bytes[i], arrival, reply);
      pace = session_.Active().pace38400;
      delayUs = session_.Active().replyDelayUs;
      const RadioRecord& record = session_.Record();
      if (record.writeRequests != before.writeRequests) {
        // This byte began a new write request, so the image before it ended by the idle gap
        // at the latest; its bytes are still there until the new image's first byte.
        if (before.writeRequests != 0) {
          KeepEndedImage(before.writeRequests, before.imageLength, before.faultPlayed);
        }
      } else if (record.imageOver) {
        KeepEndedImage(record.writeRequests, record.imageLength, record.faultPlayed);
      }
      if ((record.imageOver && !before.imageOver) || record.bytesReceived >= notifyAtBytes_) {
        changed_.notify_all();
      }
    }
    if (next == RadioSession::Next::HangUp) {
      CloseLine(true);
      return;
    }
    if (reply.length == 0) continue;
    if (pace) {
      // The radio answers once the byte has fully arrived; each answer byte then takes its
      // own time on the wire back.
      Clock::time_point due = arrival;
      for (std::uint8_t k = 0; k < reply.length; ++k) {
        due = std::max(due + std::chrono::microseconds(delayUs), outboundFree_) + BYTE_TIME_38400;
        outboundFree_ = due;
        if (!SleepUntil(due)) return;
        WriteAll(masterFd_, &reply.bytes[k], 1);
      }
    } else if (delayUs != 0) {
      Clock::time_point due = arrival;
      for (std::uint8_t k = 0; k < reply.length; ++k) {
        due += std::chrono::microseconds(delayUs);
        if (!SleepUntil(due)) return;
        WriteAll(masterFd_, &reply.bytes[k], 1);
      }
    } else {
      WriteAll(masterFd_, reply.bytes, reply.length);
    }
  }
}

bool RadioSimulator::SleepUntil(Clock::time_point due) {
  // A timed sleep overshoots by tens of microseconds here, a tenth of a byte time; a real
  // UART does not. So sleep to a little before the due time and spin the rest.
  constexpr auto SPIN = std::chrono::microseconds(60);
  {
    std::unique_lock lock(sleepMutex_);
    if (sleepWake_.wait_until(lock, due - SPIN, [this] { return stopping_.load(); })) return false;
  }
  while (Clock::now() < due) {
    if (stopping_.load(std::memory_order_relaxed)) return false;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  return true;
}

RadioRecord RadioSimulator::Record() const {
  std::lock_guard lock(mutex_);
  return session_.Record();
}

std::vector<std::uint8_t> RadioSimulator::Image() const {
  std::lock_guard lock(mutex_);
  const std::uint32_t length = std::min(session_.Record().imageLength, RECORD_CAPACITY);
  return std::vector<std::uint8_t>(session_.Image(), session_.Image() + length);
}

void RadioSimulator::KeepEndedImage(std::uint32_t writeRequest, std::uint32_t length,
                                    bool faultPlayed) {
  if (ended_.writeRequest == writeRequest) return;
  ended_ = EndedImage{writeRequest, length, faultPlayed};
  endedBytes_.assign(session_.Image(), session_.Image() + std::min(length, RECORD_CAPACITY));
}

EndedImage RadioSimulator::LatestEndedImage(std::vector<std::uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  // An image of unknown length ends by time alone, with no byte to tell the serving thread.
  const RadioRecord& record = session_.Record();
  if (record.writeRequests != 0 && session_.ImageOver(Clock::now())) {
    KeepEndedImage(record.writeRequests, record.imageLength, record.faultPlayed);
  }
  bytes = endedBytes_;
  return ended_;
}

bool RadioSimulator::WaitImageOver(std::chrono::milliseconds limit) const {
  const Clock::time_point giveUp = Clock::now() + limit;
  std::unique_lock lock(mutex_);
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (session_.ImageOver(now)) return true;
    if (now >= giveUp || !running_.load(std::memory_order_acquire)) return false;
    // An image of unknown length ends by time alone, with nothing to signal it.
    changed_.wait_until(lock, std::min(giveUp, session_.IdleDeadline()));
  }
}

bool RadioSimulator::WaitBytesReceived(std::uint64_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  // Bytes wake waiters only while someone waits for a count, so a transfer is not slowed by
  // a notification per byte.
  notifyAtBytes_ = std::min(notifyAtBytes_, count);
  ++byteWaiters_;
  const bool reached = changed_.wait_for(lock, limit, [&] {
    return session_.Record().bytesReceived >= count || !running_.load(std::memory_order_acquire);
  });
  if (--byteWaiters_ == 0) notifyAtBytes_ = NO_BYTE_WAIT;
  return reached && session_.Record().bytesReceived >= count;
}

}  // namespace vannor::sim
