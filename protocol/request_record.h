// The history's record of each request a link ends: one of the link's own observers, so that
// the window, vannor-cli and the tests' host all keep the same records without a line of their
// own. The link tells it the port and the request's start; the exchange tells it the rest; the
// record is written once the outcome is known, before the host shows it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "history/history_log.h"
#include "protocol/exchange_observer.h"
#include "protocol/update_request.h"
#include "serial/line.h"

namespace vannor {

class RequestRecord final : public ExchangeObserver {
 public:
  // `line` tells why a port failed.
  explicit RequestRecord(const Line& line) : line_(line) {}

  // From now on each request ends with a record in `log` (until then, none is made).
  void KeepIn(HistoryLog& log) { log_ = &log; }

  // The port the next requests go to: as named, the device behind it, the adapter's identity.
  void SetPort(std::string port, std::string device, std::string adapter);

  // A request starts. `image` is the chosen file, or null when only the bytes are known.
  void BeginUpdate(std::uint8_t mask, std::uint32_t length, const ChosenImage* image);
  void BeginVersionRead();
  // The request ended before the engine had it: the DSP choice or the image refused.
  void Refused(const ExchangeOutcome& outcome);
  // The request never went out: its port did not open (`reason`).
  void PortNotUsable(const std::string& reason);
  // The link stops with the request still running, `confirmed` image bytes echoed: the radio's
  // DSP may be left unfinished.
  void Stopped(std::uint32_t confirmed);

  // Whether a request is started and not yet recorded.
  bool Running() const { return running_; }
  // The last record as its line of JSON; empty before the first.
  const std::string& LastJson() const { return lastJson_; }

  void OnRequest(const std::uint8_t*, std::size_t) override {}
  void OnAcknowledged(ProtocolState) override {}
  void OnProgress(std::uint32_t confirmed, std::uint32_t) override {
    record_.confirmed = confirmed;
  }
  void OnEnded(const ExchangeOutcome& outcome) override;

 private:
  void Begin(const char* request);
  std::string NoPortCause() const;
  // Completes the running record and writes it.
  void Finish(const char* outcome, std::string_view message, std::string cause, bool ok);

  const Line& line_;
  HistoryLog* log_ = nullptr;
  std::string port_, device_, adapter_;
  HistoryRecord record_;
  bool running_ = false;
  // The request began with no port open (the window lets a click go out on none): whatever the
  // exchange says, nothing reached a radio.
  bool noPort_ = false;
  std::chrono::steady_clock::time_point started_{};
  std::string lastJson_;
};

}  // namespace vannor
