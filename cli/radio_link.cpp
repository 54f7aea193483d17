#include "cli/radio_link.h"

#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/progress_view.h"
#include "protocol/messages.h"

namespace vannor::cli {

RadioLink::RadioLink(std::string port, bool verbose, ProgressView* view, std::size_t index,
                     std::unique_ptr<Line> line)
    : port_(std::move(port)),
      view_(view),
      index_(index),
      line_(std::move(line)),
      engine_(*line_, *this) {
  if (verbose || ExchangeTrace::Requested()) trace_.emplace(stderr, "vannor-cli: " + port_);
  engine_.SetObserver(this);
}

RadioLink::~RadioLink() {
  line_->StopLink();
}

std::optional<LinkOutcome> RadioLink::Open() {
  if (line_->OpenDevice(port_) != 1) {
    const OpenFailure failure = line_->LastOpenFailure();
    std::string text = port_;
    if (!failure.device.empty() && failure.device != port_) text += " (" + failure.device + ")";
    return LinkOutcome{EXIT_PORT_UNUSABLE, text + ": " + failure.reason};
  }
  if (!line_->StartListener(*this)) {
    return LinkOutcome{EXIT_PORT_UNUSABLE, port_ + ": cannot watch the port for replies"};
  }
  return std::nullopt;
}

LinkOutcome RadioLink::Finish(LinkOutcome outcome) {
  // The stop sequence: listener ended, port closed and its settings put back.
  line_->StopLink();
  if (view_ != nullptr) view_->Finished(index_, outcome.exitCode == EXIT_SUCCESS_ALL);
  return outcome;
}

bool RadioLink::RunUntilIdle() {
  while (engine_.Busy()) {
    std::uint64_t arrived = 0;
    {
      std::unique_lock lock(mutex_);
      auto ready = [this] { return notifications_ > 0 || interrupted_.load(); };
      if (timerRunning_) {
        wake_.wait_until(lock, timerDue_, ready);
      } else {
        wake_.wait(lock, ready);
      }
      arrived = notifications_;
      notifications_ = 0;
    }
    if (interrupted_.load()) return false;
    // The engine reads whatever is waiting at each notification, so one call serves them all.
    if (arrived > 0) engine_.OnCommNotify();
    if (timerRunning_ && std::chrono::steady_clock::now() >= timerDue_) engine_.OnTimer();
  }
  return true;
}

LinkOutcome RadioLink::ReadVersions() {
  if (auto failed = Open()) return Finish(*failed);
  engine_.OnVerReadClicked();
  if (!RunUntilIdle()) return Finish({EXIT_INTERRUPTED, port_ + ": interrupted"});
  if (lastMessage_ == MSG_COMMUNICATION_ERROR) {
    return Finish({EXIT_COMMUNICATION, port_ + ": Communication Error: " + failure_});
  }
  if (!lastMessage_.empty()) return Finish({EXIT_COMMUNICATION, port_ + ":" + lastMessage_});
  return Finish({EXIT_SUCCESS_ALL, "DSP1 " + versionDsp1_ + "  DSP2 " + versionDsp2_});
}

LinkOutcome RadioLink::Write(const WriteRequest& request) {
  request_ = request;
  if (auto failed = Open()) return Finish(*failed);
  engine_.OnUpdateClicked();
  if (!engine_.Busy()) {
    // Refused before anything was sent: the engine has said why.
    if (lastMessage_ == MSG_DSP_SELECT_ERROR) {
      return Finish({EXIT_USAGE, port_ + ": DSP Select Error: give --dsp1, --dsp2 or both"});
    }
    std::string why = "image refused";
    if (lastMessage_ == MSG_FILE_ERROR) why = "File Error: the image's name must end in .out";
    if (lastMessage_ == MSG_FILE_OPEN_ERROR) {
      why = "File Open Error: the image cannot be read or is not a regular file";
    }
    if (lastMessage_ == MSG_FILE_SIZE_ERROR) {
      why = "File Size Error: the image must hold 1 to 200000 bytes";
    }
    return Finish({EXIT_IMAGE_REFUSED, request.imagePath + ": " + why});
  }
  if (!RunUntilIdle()) {
    return Finish(
        {EXIT_INTERRUPTED, port_ + ": interrupted; the DSP is left unfinished, write it again"});
  }
  if (lastMessage_ == MSG_COMPLETION) {
    return Finish({EXIT_SUCCESS_ALL, port_ + ": written (" +
                                         std::to_string(engine_.State().imageLength) + " bytes)"});
  }
  return Finish({EXIT_COMMUNICATION, port_ + ": Communication Error: " + failure_});
}

void RadioLink::Interrupt() {
  {
    std::lock_guard lock(mutex_);
    interrupted_.store(true);
  }
  wake_.notify_all();
}

void RadioLink::StartResponseTimer(int milliseconds) {
  timerRunning_ = true;
  timerDue_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

void RadioLink::StopResponseTimer() {
  timerRunning_ = false;
}

bool RadioLink::IsChecked(Box box) {
  switch (box) {
    case Box::WriteDsp1:
      return request_.writeDsp1;
    case Box::Tavix3Dsp1:
      return request_.tavix3Dsp1;
    case Box::WriteDsp2:
      return request_.writeDsp2;
    case Box::Tavix3Dsp2:
      return request_.tavix3Dsp2;
  }
  return false;
}

void RadioLink::SetLabelText(Label label, std::string_view text) {
  if (label == Label::VersionDsp1) versionDsp1_ = text;
  if (label == Label::VersionDsp2) versionDsp2_ = text;
}

void RadioLink::ShowMessage(std::string_view text) {
  lastMessage_ = text;
}

bool RadioLink::ChooseImageFile(std::string& path) {
  path = request_.imagePath;
  return true;
}

void RadioLink::PostCommNotify() {
  {
    std::lock_guard lock(mutex_);
    ++notifications_;
  }
  wake_.notify_one();
}

void RadioLink::OnRequest(const std::uint8_t* bytes, std::size_t count) {
  if (trace_) trace_->OnRequest(bytes, count);
}

void RadioLink::OnAcknowledged(ProtocolState next) {
  if (trace_) trace_->OnAcknowledged(next);
  if (next == ProtocolState::Sending && view_ != nullptr) {
    view_->Started(index_, engine_.State().imageLength);
  }
}

void RadioLink::OnProgress(std::uint32_t confirmed, std::uint32_t length) {
  if (trace_) trace_->OnProgress(confirmed, length);
  if (view_ != nullptr) view_->Progress(index_, confirmed, length);
}

void RadioLink::OnCompleted() {
  if (trace_) trace_->OnCompleted();
}

void RadioLink::OnFailed(const ExchangeFailure& failure) {
  if (trace_) trace_->OnFailed(failure);
  failure_ = DescribeFailure(failure);
}

}  // namespace vannor::cli
