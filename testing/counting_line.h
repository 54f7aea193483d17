// A serial line that counts what the engine asks of it and passes everything on to a real one:
// shows what one byte costs in the headless host and the window benchmark.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "serial/line.h"

namespace vannor::testkit {

struct PortCounts {
  std::uint64_t pendingQueries = 0;
  std::uint64_t reads = 0;
  std::uint64_t writes = 0;
};

class CountingLine : public Line {
 public:
  explicit CountingLine(std::unique_ptr<Line> real = MakeLine()) : real_(std::move(real)) {}

  // Read and reset on the thread that runs the engine.
  PortCounts counts;

  bool PortUsable() override { return real_->PortUsable(); }
  void Write(const std::uint8_t* bytes, std::size_t count) override {
    ++counts.writes;
    real_->Write(bytes, count);
  }
  std::size_t PendingCount() override {
    ++counts.pendingQueries;
    return real_->PendingCount();
  }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    ++counts.reads;
    return real_->Read(buffer, count);
  }
  int OpenDevice(const std::string& device) override { return real_->OpenDevice(device); }
  void ClosePort() override { real_->ClosePort(); }
  OpenFailure LastOpenFailure() const override { return real_->LastOpenFailure(); }
  std::mutex& PortLock() override { return real_->PortLock(); }
  void ReleaseListenerWait() override { real_->ReleaseListenerWait(); }
  bool StartListener(CommNotifyTarget& mainWindow) override {
    return real_->StartListener(mainWindow);
  }
  void StopLink() override { real_->StopLink(); }
  bool ListenerRunning() const override { return real_->ListenerRunning(); }
  std::chrono::nanoseconds ListenerCpuTime() const override { return real_->ListenerCpuTime(); }

  Line& Real() { return *real_; }

 private:
  std::unique_ptr<Line> real_;
};

}  // namespace vannor::testkit
