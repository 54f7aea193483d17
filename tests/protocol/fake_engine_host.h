// A stand-in for the window and the port that records everything the engine does, with a
// receive queue the test fills and a timer the test expires by hand.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "protocol/engine_host.h"
#include "protocol/protocol_engine.h"
#include "serial/port_io.h"
#include "testing/temp_dir.h"

namespace vannor::test {

using testkit::TempDir;

using Bytes = std::vector<std::uint8_t>;

class FakeEngineHost : public EngineHost, public PortIo {
 public:
  // Port.
  bool portUsable = true;
  bool portFailed = false;  // the port went away: writes fail, and it reports so
  int discards = 0;
  int closes = 0;
  std::vector<Bytes> writes;          // one entry per write call, in order
  std::deque<std::uint8_t> incoming;  // bytes waiting to be read
  std::vector<std::size_t> pendingAnswers;
  std::vector<std::size_t> readRequests;
  std::size_t maxReadOverPending = 0;  // how far any read asked past what was waiting

  // Timer.
  bool timerRunning = false;
  int timerStarts = 0;
  int timerPeriod = 0;

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

  bool PortUsable() override { return portUsable; }
  bool Write(const std::uint8_t* bytes, std::size_t count) override {
    if (portFailed) return false;
    writes.emplace_back(bytes, bytes + count);
    return true;
  }
  void DiscardInput() override {
    ++discards;
    incoming.clear();
  }
  bool PortFailed() override { return portUsable && portFailed; }
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
    return n;
  }
  void StartResponseTimer(int milliseconds) override {
    timerRunning = true;
    ++timerStarts;
    timerPeriod = milliseconds;
  }
  void StopResponseTimer() override { timerRunning = false; }
  bool IsChecked(Box box) override { return checked[box]; }
  void SetProgress(int position) override {
    progress = position;
    progressHistory.push_back(position);
  }
  void SetLabelText(Label label, std::string_view text) override {
    labels[label] = std::string(text);
    if (label == Label::Percent) percentHistory.emplace_back(text);
  }
  void ReportOutcome(const ExchangeOutcome& outcome) override {
    outcomes.push_back(outcome);
    if (!MessageFor(outcome).empty()) messages.emplace_back(MessageFor(outcome));
  }
  bool ChooseImageFile(std::string& path) override {
    ++fileDialogs;
    if (chosenPath.empty()) return false;
    path = chosenPath;
    return true;
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
