// A port that counts what the engine asks of it and passes everything on to the platform's
// real one: shows what one byte costs in the headless host and the window benchmark.
#pragma once

#include <cstdint>
#include <memory>

#include "serial/port_backend.h"

namespace vannor::testkit {

struct PortCounts {
  std::uint64_t pendingQueries = 0;
  std::uint64_t reads = 0;
  std::uint64_t writes = 0;
};

class CountingBackend : public PortBackend {
 public:
  explicit CountingBackend(std::unique_ptr<PortBackend> real = MakePortBackend())
      : real_(std::move(real)) {}

  // Read and reset on the thread that runs the engine.
  PortCounts counts;

  bool Open(const std::string& device, OpenFailure& failure) override {
    return real_->Open(device, failure);
  }
  void Close() override { real_->Close(); }
  bool IsOpen() const override { return real_->IsOpen(); }
  bool Write(const std::uint8_t* bytes, std::size_t count) override {
    ++counts.writes;
    return real_->Write(bytes, count);
  }
  std::size_t PendingCount() override {
    ++counts.pendingQueries;
    return real_->PendingCount();
  }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    ++counts.reads;
    return real_->Read(buffer, count);
  }
  void DiscardInput() override { real_->DiscardInput(); }
  bool Failed() const override { return real_->Failed(); }
  std::string FailureReason() const override { return real_->FailureReason(); }
  bool StartWatch(PortEvents& events, std::string& reason) override {
    return real_->StartWatch(events, reason);
  }
  void StopWatch() override { real_->StopWatch(); }
  int Waitable() const override { return real_->Waitable(); }
  int AdapterLatencyMs() const override { return real_->AdapterLatencyMs(); }

 private:
  std::unique_ptr<PortBackend> real_;
};

}  // namespace vannor::testkit
