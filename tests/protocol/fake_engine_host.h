// A stand-in for the window and the port that records everything the engine does, with a
// receive queue the test fills and a timer the test expires by hand.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "protocol/engine_host.h"
#include "protocol/exchange_display.h"
#include "protocol/link_state.h"
#include "protocol/protocol_engine.h"
#include "protocol/update_request.h"
#include "serial/port_io.h"
#include "testing/temp_dir.h"

namespace vannor::test {

using testkit::TempDir;

using Bytes = std::vector<std::uint8_t>;

// The window's four boxes and three labels.
enum class Box { WriteDsp1, Tavix3Dsp1, WriteDsp2, Tavix3Dsp2 };
enum class Label { Percent, VersionDsp1, VersionDsp2 };

class FakeEngineHost : public EngineHost, public PortIo, public ExchangeDisplay {
 public:
  // Port.
  bool portUsable = true;
  bool portFailed = false;  // the port went away: writes fail, and it reports so
  int holdBackMs = -1;      // what the port tells of the time it may hold bytes back
  int discards = 0;
  int closes = 0;
  std::vector<Bytes> writes;          // one entry per write call, in order
  std::deque<std::uint8_t> incoming;  // bytes waiting to be read
  Bytes arrivingDuringRead;           // bytes that come in just after the next read
  std::vector<std::size_t> pendingAnswers;
  std::vector<std::size_t> readRequests;
  std::size_t maxReadOverPending = 0;  // how far any read asked past what was waiting

  // Whether a request that waits for a quiet line finds it quiet at once (its first quiet
  // period ends as the click returns); false leaves the periods to the test.
  bool quietLine = true;

  // Timer, and the clock it runs on: time passes only when the test lets the timer run out.
  bool timerRunning = false;
  int timerStarts = 0;
  int timerPeriod = 0;
  EngineClock::time_point clock{};
  EngineClock::time_point timerDue{};

  // Window.
  std::map<Box, bool> checked = {{Box::WriteDsp1, true},
                                 {Box::WriteDsp2, true},
                                 {Box::Tavix3Dsp1, true},
                                 {Box::Tavix3Dsp2, true}};
  int progress = 0;
  std::vector<int> progressHistory;
  std::map<Label, std::string> labels = {
      {Label::Percent, "0"}, {Label::VersionDsp1, "V00.00"}, {Label::VersionDsp2, "V00.00"}};
  std::vector<std::string> percentHistory;
  std::vector<std::string> messages;  // the window's boxes for the outcomes
  std::vector<ExchangeOutcome> outcomes;

  // File dialog: the path to answer with, or cancel when empty.
  std::string chosenPath;
  int fileDialogs = 0;
  std::shared_ptr<const UpdateImage> image;  // the file read, as the link holds it

  bool PortUsable() override { return portUsable; }
  bool Write(const std::uint8_t* bytes, std::size_t count) override {
    if (portFailed || !portUsable) return false;
    writes.emplace_back(bytes, bytes + count);
    return true;
  }
  void DiscardInput() override {
    ++discards;
    incoming.clear();
  }
  bool PortFailed() override { return portUsable && portFailed; }
  int HoldBackMs() override { return holdBackMs; }
  void ClosePort() override {
    ++closes;
    portUsable = false;
  }
  std::size_t PendingCount() override {
    pendingAnswers.push_back(incoming.size());
    return incoming.size();
  }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    readRequests.push_back(count);
    if (count > incoming.size())
      maxReadOverPending = std::max(maxReadOverPending, count - incoming.size());
    std::size_t n = 0;
    while (n < count && !incoming.empty()) {
      buffer[n++] = incoming.front();
      incoming.pop_front();
    }
    incoming.insert(incoming.end(), arrivingDuringRead.begin(), arrivingDuringRead.end());
    arrivingDuringRead.clear();
    return n;
  }
  void StartResponseTimer(int milliseconds) override {
    timerRunning = true;
    ++timerStarts;
    timerPeriod = milliseconds;
    timerDue = clock + std::chrono::milliseconds(milliseconds);
  }
  EngineClock::time_point Now() override { return clock; }
  void StopResponseTimer() override { timerRunning = false; }
  void ShowProgress(int position, std::string_view percent) override {
    progress = position;
    progressHistory.push_back(position);
    labels[Label::Percent] = std::string(percent);
    percentHistory.emplace_back(percent);
  }
  void ShowVersions(std::string_view dsp1, std::string_view dsp2) override {
    labels[Label::VersionDsp1] = std::string(dsp1);
    labels[Label::VersionDsp2] = std::string(dsp2);
  }
  void ReportOutcome(const ExchangeOutcome& outcome) override {
    outcomes.push_back(outcome);
    if (!MessageFor(outcome).empty()) messages.emplace_back(MessageFor(outcome));
  }

  // An engine over this port and host, followed by its display.
  std::unique_ptr<ProtocolEngine> MakeEngine() {
    auto engine = std::make_unique<ProtocolEngine>(*this, *this);
    (void)engine->AddObserver(this);
    return engine;
  }
  // The window's Update, by the link's steps, over the engine alone.
  void ClickUpdate(ProtocolEngine& engine) {
    struct Steps final : UpdateSteps {
      FakeEngineHost& host;
      ProtocolEngine& engine;
      Steps(FakeEngineHost& h, ProtocolEngine& e) : host(h), engine(e) {}
      bool Busy() const override { return engine.Busy(); }
      void Refuse(std::uint8_t, const ChosenImage&, const ExchangeOutcome& outcome) override {
        host.ReportOutcome(outcome);
      }
      void Send(std::uint8_t mask, std::shared_ptr<const UpdateImage> image) override {
        host.image = std::move(image);
        engine.OnUpdateClicked(mask, host.image->bytes.data(), host.image->chosen.length);
        host.PassQuietPeriod(engine);
      }
    } steps(*this, engine);
    const std::uint8_t mask = SelectionMask(DspChoice{.writeDsp1 = checked[Box::WriteDsp1],
                                                      .tavix3Dsp1 = checked[Box::Tavix3Dsp1],
                                                      .writeDsp2 = checked[Box::WriteDsp2],
                                                      .tavix3Dsp2 = checked[Box::Tavix3Dsp2]});
    RequestUpdate(steps, mask, ImageSource([this]() -> std::optional<std::string> {
                    ++fileDialogs;
                    if (chosenPath.empty()) return std::nullopt;
                    return chosenPath;
                  }));
  }
  void ClickVerRead(ProtocolEngine& engine) {
    engine.OnVerReadClicked();
    PassQuietPeriod(engine);
  }
  void PassQuietPeriod(ProtocolEngine& engine) {
    if (quietLine && engine.AwaitingQuietLine()) Expire(engine);
  }
  // The timer runs out: the clock reaches its deadline, and the engine hears of it.
  void Expire(ProtocolEngine& engine) {
    clock = std::max(clock, timerDue);
    engine.OnTimer();
  }

  // Test helpers.
  void Receive(const Bytes& bytes) { incoming.insert(incoming.end(), bytes.begin(), bytes.end()); }
  Bytes AllWritten() const {
    Bytes all;
    for (const Bytes& w : writes) all.insert(all.end(), w.begin(), w.end());
    return all;
  }
};

}  // namespace vannor::test
