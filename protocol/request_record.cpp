#include "protocol/request_record.h"

#include <filesystem>
#include <system_error>

#include "protocol/exchange_outcome.h"
#include "protocol/messages.h"
#include "protocol/protocol_engine.h"

namespace vannor {

void RequestRecord::SetPort(std::string port, std::string device, std::string adapter) {
  port_ = std::move(port);
  device_ = std::move(device);
  adapter_ = std::move(adapter);
}

void RequestRecord::Begin(const char* request) {
  running_ = log_ != nullptr;
  if (!running_) return;
  record_ = HistoryRecord{};
  log_->Sign(record_);
  record_.time = UtcTimestamp(std::chrono::system_clock::now());
  started_ = std::chrono::steady_clock::now();
  record_.port = port_;
  record_.device = device_ == port_ ? std::string() : device_;
  record_.adapter = adapter_;
  record_.request = request;
  noPort_ = line_.OpenedPort().path.empty();
}

void RequestRecord::BeginUpdate(std::uint8_t mask, std::uint32_t length, const ChosenImage* image) {
  Begin("update");
  record_.mask = mask;
  record_.dsps = DspNames(mask);
  record_.size = length;
  if (image == nullptr) return;
  // Absolute, so that the record still names the file when read from another folder.
  // The path is UTF-8 on every platform, which only the u8 forms keep on Windows.
  std::error_code unknown;
  const std::u8string absolute =
      std::filesystem::absolute(std::u8string(image->path.begin(), image->path.end()), unknown)
          .u8string();
  record_.image = unknown ? image->path : std::string(absolute.begin(), absolute.end());
  record_.sha256 = image->sha256;
  record_.cause = image->problem;
}

void RequestRecord::BeginVersionRead() {
  Begin("version");
}

void RequestRecord::Refused(const ExchangeOutcome& outcome) {
  OnEnded(outcome);
}

void RequestRecord::PortNotUsable(const std::string& reason) {
  Finish("port-not-usable", MSG_NOT_USE_COM_PORT, reason, false);
}

void RequestRecord::Stopped(std::uint32_t confirmed) {
  if (record_.request == "update") record_.confirmed = confirmed;
  Finish("stopped", {}, "the program stopped during the exchange", false);
}

void RequestRecord::OnEnded(const ExchangeOutcome& outcome) {
  const OutcomeWords words = WordsFor(outcome, line_);
  // A Ver Read clicked while an update runs ends at once, with the update still running: a
  // record of its own.
  if (outcome.kind == Outcome::OnlyOnce && running_ && record_.request != "version") {
    const HistoryRecord update = record_;
    const auto started = started_;
    const bool noPort = noPort_;
    BeginVersionRead();
    Finish("only-once", words.message, words.cause, false);
    record_ = update;
    started_ = started;
    noPort_ = noPort;
    running_ = true;
    return;
  }
  if (outcome.kind == Outcome::OnlyOnce && !running_) BeginVersionRead();
  switch (outcome.kind) {
    case Outcome::Completed:
      record_.confirmed = outcome.length;
      Finish("completed", words.message, words.cause, true);
      return;
    case Outcome::VersionsRead:
      record_.dsp1 = FormatVersion(outcome.versions[0], outcome.versions[1]).text;
      record_.dsp2 = FormatVersion(outcome.versions[2], outcome.versions[3]).text;
      Finish("versions-read", words.message, words.cause, true);
      return;
    case Outcome::CommunicationError:
      if (noPort_) {
        // The box stays the exchange's own; the record says what happened on the wire.
        Finish("port-not-usable", words.message, NoPortCause(), false);
        return;
      }
      // Progress comes by the percent; the failure knows the byte.
      if (outcome.failure.state == ProtocolState::Sending) {
        record_.confirmed = outcome.failure.byteIndex;
      }
      Finish("communication-error", words.message, words.cause, false);
      return;
    case Outcome::DspNotSelected:
      Finish("dsp-not-selected", words.message, words.cause, false);
      return;
    case Outcome::ImageRefused:
      Finish("image-refused", words.message, words.cause, false);
      return;
    case Outcome::OnlyOnce:
      Finish("only-once", words.message, words.cause, false);
      return;
  }
}

std::string RequestRecord::NoPortCause() const {
  const std::string& reason = line_.LastOpenFailure().reason;
  return reason.empty() ? "no port was open" : "no port was open: " + reason;
}

void RequestRecord::Finish(const char* outcome, std::string_view message, std::string cause,
                           bool ok) {
  if (!running_) return;
  running_ = false;
  record_.outcome = outcome;
  record_.message = message;
  if (!cause.empty() || record_.cause.empty()) record_.cause = std::move(cause);
  record_.ok = ok;
  record_.ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - started_)
                   .count();
  lastJson_ = RecordJson(record_);
  log_->Append(record_);
}

}  // namespace vannor
