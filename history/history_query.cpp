#include "history/history_query.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "history/history_log.h"

namespace vannor {

namespace {

// Appends the records of the file at `path`; false when it cannot be opened.
bool ReadRecords(const std::string& path, std::vector<HistoryRecord>& records) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::string line;
  HistoryRecord record;
  while (std::getline(file, line)) {
    if (ParseRecord(line, record)) records.push_back(record);
  }
  return true;
}

}  // namespace

bool ValidSince(const std::string& date) {
  // Digits where the pattern has 9; the rest as written.
  const auto fits = [&date](std::string_view pattern) {
    if (date.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
      const bool digit = date[i] >= '0' && date[i] <= '9';
      if (pattern[i] == '9' ? !digit : date[i] != pattern[i]) return false;
    }
    return true;
  };
  return fits("9999-99-99") || fits("9999-99-99T99:99") || fits("9999-99-99T99:99:99");
}

bool ReadHistory(const std::string& path, std::vector<HistoryRecord>& records,
                 std::string& problem) {
  records.clear();
  const bool older = ReadRecords(RotatedHistoryPath(path), records);
  errno = 0;
  // No history yet is an empty one.
  if (ReadRecords(path, records) || older || errno == ENOENT) return true;
  problem = errno != 0 ? std::strerror(errno) : "cannot be read";
  return false;
}

std::vector<HistoryRecord> SelectRecords(const std::vector<HistoryRecord>& records,
                                         const HistoryFilter& filter) {
  std::vector<HistoryRecord> chosen;
  for (const HistoryRecord& record : records) {
    const bool port = filter.ports.empty() || std::find(filter.ports.begin(), filter.ports.end(),
                                                        record.port) != filter.ports.end();
    // The times are all of one form, so that text order is time order.
    if (port && record.time >= filter.since &&
        (filter.sha256.empty() || record.sha256 == filter.sha256) &&
        !(filter.failed && record.ok)) {
      chosen.push_back(record);
    }
  }
  if (filter.last > 0 && chosen.size() > filter.last) {
    chosen.erase(chosen.begin(), chosen.end() - static_cast<std::ptrdiff_t>(filter.last));
  }
  return chosen;
}

}  // namespace vannor
