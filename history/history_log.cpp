#include "history/history_log.h"

#include <cstdlib>

#include "history/history_file.h"

namespace vannor {

std::string ChosenHistoryPath(const char* option) {
  const char* chosen = option != nullptr ? option : std::getenv("VANNOR_HISTORY");
  if (chosen == nullptr) return DefaultHistoryPath();
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
                       std::FILE* errors)
    : path_(std::move(path)),
      program_(std::move(program)),
      version_(std::move(version)),
      host_(HostName()),
      user_(UserName()),
      errors_(errors) {}

void HistoryLog::Sign(HistoryRecord& record) const {
  record.program = program_;
  record.version = version_;
  record.host = host_;
  record.user = user_;
}

void HistoryLog::Append(const HistoryRecord& record) {
  if (path_.empty()) return;
  std::string problem;
  if (AppendHistoryLine(path_, RecordJson(record) + "\n", problem) || told_) return;
  told_ = true;
  // Told once: the next records may fail alike, and each radio's result matters more.
  std::fprintf(errors_, "%s: cannot record the history in %s: %s\n", program_.c_str(),
               path_.c_str(), problem.c_str());
}

}  // namespace vannor
