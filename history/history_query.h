// The records `vannor-cli history` shows: read from the history and its older file, oldest
// first, and narrowed by what the user asks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "history/history_record.h"

namespace vannor {

struct HistoryFilter {
  std::vector<std::string> ports;  // any of these, as named; none: every port
  std::string since;               // "2026-12-08" or "2026-12-08T14:00": records from then on
  std::string sha256;              // only the records of the image with this digest
  bool failed = false;             // only requests that did not succeed
  std::size_t last = 0;            // at most the newest so many; 0: all
};

// Whether `date` is a day (YYYY-MM-DD), optionally with a time (THH:MM or THH:MM:SS), UTC.
bool ValidSince(const std::string& date);

// The lines of the older file, then of the file, that are records; torn or foreign lines are
// left out; a history not yet made has none. False, with the system's words in `problem`, when
// neither file could be read.
bool ReadHistory(const std::string& path, std::vector<HistoryRecord>& records,
                 std::string& problem);

std::vector<HistoryRecord> SelectRecords(const std::vector<HistoryRecord>& records,
                                         const HistoryFilter& filter);

}  // namespace vannor
