// The history one program keeps: where it goes, who writes it, and whether the user has been
// told that it cannot be written. Each program owns one and hands it to its links.
#pragma once

#include <cstdio>
#include <string>

#include "history/history_record.h"

namespace vannor {

// Where the history goes: `option` (--history) when given, else VANNOR_HISTORY when set, else
// the per-user file. "-" or empty keeps none (an empty result).
std::string ChosenHistoryPath(const char* option);
// The older file beside `path`: history.jsonl moves to history.1.jsonl.
std::string RotatedHistoryPath(const std::string& path);

class HistoryLog {
 public:
  // `path` empty: records are made (for --json) but kept nowhere. `program` and `version` name
  // the writer in each record and begin the one line that tells a failed write.
  HistoryLog(std::string path, std::string program, std::string version,
             std::FILE* errors = stderr);
  HistoryLog(const HistoryLog&) = delete;
  HistoryLog& operator=(const HistoryLog&) = delete;

  // Who wrote the record: the program, its version, this machine and the user.
  void Sign(HistoryRecord& record) const;
  // Appends the record, if a history is kept. A write that fails is told once per run, with the
  // path and the reason; the run goes on without it.
  void Append(const HistoryRecord& record);

  const std::string& Path() const { return path_; }

 private:
  const std::string path_;
  const std::string program_;
  const std::string version_;
  const std::string host_;
  const std::string user_;
  std::FILE* errors_;
  bool told_ = false;
};

}  // namespace vannor
