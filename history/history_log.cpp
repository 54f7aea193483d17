#include "history/history_log.h"

#include <cstdlib>

#include "history/history_file.h"

namespace vannor {

std::string ChosenHistoryPath(const char* option, std::string* whyNone) {
  const char* chosen = option != nullptr ? option : std::getenv("VANNOR_HISTORY");
  if (chosen == nullptr) {
    std::string problem;
    std::string path = DefaultHistoryPath(problem);
    if (whyNone != nullptr) *whyNone = problem;
    return path;
  }
  const std::string path = chosen;
  return path == "-" ? std::string() : path;
}

std::string RotatedHistoryPath(const std::string& path) {
  const std::size_t name = path.find_last_of("/\\") + 1;  // 0 when there is no folder
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot <= name) return path + ".1";
  return path.substr(0, dot) + ".1" + path.substr(dot);
}

HistoryLog::HistoryLog(std::string path, std::string program, std::string version,
                       std::FILE* errors, Writer writer, std::string whyNone)
    : path_(std::move(path)),
      program_(std::move(program)),
      version_(std::move(version)),
      host_(HostName()),
      user_(UserName()),
      errors_(errors),
      writer_(writer),
      whyNone_(std::move(whyNone)) {
  if (writer_ == Writer::Background && !path_.empty())
    thread_ = std::thread([this] { WriteQueued(); });
}

HistoryLog::~HistoryLog() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    ending_ = true;
  }
  queued_.notify_one();
  thread_.join();
}

void HistoryLog::Sign(HistoryRecord& record) const {
  record.program = program_;
  record.version = version_;
  record.host = host_;
  record.user = user_;
}

void HistoryLog::Append(const HistoryRecord& record) {
  if (path_.empty()) {
    if (whyNone_.empty() || told_) return;
    told_ = true;
    std::fprintf(errors_, "%s: no history is kept: %s\n", program_.c_str(), whyNone_.c_str());
    return;
  }
  std::string line = RecordJson(record) + "\n";
  if (writer_ == Writer::Caller) {
    Write(line);
    return;
  }
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    queue_.push_back(std::move(line));
  }
  queued_.notify_one();
}

void HistoryLog::Write(const std::string& line) {
  std::string problem;
  if (AppendHistoryLine(path_, line, problem, pause_) || told_) return;
  told_ = true;
  // Told once: the next records may fail alike, and each radio's result matters more.
  std::fprintf(errors_, "%s: cannot record the history in %s: %s\n", program_.c_str(),
               path_.c_str(), problem.c_str());
}

void HistoryLog::WriteQueued() {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    queued_.wait(hold, [this] { return ending_ || !queue_.empty(); });
    if (queue_.empty()) return;
    const std::string line = std::move(queue_.front());
    queue_.pop_front();
    // The disk and the lock are waited on without the queue held: the event thread never waits.
    hold.unlock();
    Write(line);
    hold.lock();
  }
}

}  // namespace vannor
