// The history one program keeps: where it goes, who writes it, and whether the user has been
// told that it cannot be written. Each program owns one and hands it to its links.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "history/history_append.h"
#include "history/history_record.h"

namespace vannor {

// Where the history goes: `option` (--history) when given, else VANNOR_HISTORY when set, else
// the per-user file. "-" or empty keeps none (an empty result). Where the per-user file has no
// place (no usable home), also empty, with why in `whyNone` (left empty when the user chose none).
std::string ChosenHistoryPath(const char* option, std::string* whyNone = nullptr);
// The older file beside `path`: history.jsonl moves to history.1.jsonl.
std::string RotatedHistoryPath(const std::string& path);

class HistoryLog {
 public:
  enum class Writer {
    Caller,      // each append runs in the caller's thread, its lock wait paused by `pause`
    Background,  // appends are queued to a thread of the log's own: the caller never waits
  };
  // `path` empty: records are made (for --json) but kept nowhere; `whyNone` then says why when
  // the user did not choose that. `program` and `version` name the writer in each record and
  // begin the one line that tells a failed write.
  HistoryLog(std::string path, std::string program, std::string version, std::FILE* errors = stderr,
             Writer writer = Writer::Caller, std::string whyNone = {});
  // A background writer ends its queue first (each line bounded by the lock's patience).
  ~HistoryLog();
  HistoryLog(const HistoryLog&) = delete;
  HistoryLog& operator=(const HistoryLog&) = delete;

  // How a caller's append waits between tries of the lock (vannor-cli: for a signal too).
  void SetPause(HistoryPause pause) { pause_ = std::move(pause); }

  // Who wrote the record: the program, its version, this machine and the user.
  void Sign(HistoryRecord& record) const;
  // Appends the record, if a history is kept. A write that fails is told once per run, with the
  // path and the reason; the run goes on without it.
  void Append(const HistoryRecord& record);

  const std::string& Path() const { return path_; }

 private:
  void Write(const std::string& line);
  void WriteQueued();

  const std::string path_;
  const std::string program_;
  const std::string version_;
  const std::string host_;
  const std::string user_;
  std::FILE* errors_;
  const Writer writer_;
  const std::string whyNone_;
  HistoryPause pause_ = SleepingPause;
  bool told_ = false;  // the writing thread's

  // Background only.
  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<std::string> queue_;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace vannor
