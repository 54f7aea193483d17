// The records `vannor-cli history` shows: those the user's choices let through, the newest so
// many of them where a count is given.
#pragma once

#include <cstddef>
#include <deque>
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

// The forms --since takes, for its usage error.
inline constexpr const char* SINCE_FORMS =
    "2026-12-08, 2026-12-08T14:00 or 2026-12-08T14:00:05 (UTC)";
// Whether `date` is a real day (YYYY-MM-DD), optionally with a real time (THH:MM or THH:MM:SS).
bool ValidSince(const std::string& date);

// Whether `record` passes the filter's choices (all but `last`).
bool RecordChosen(const HistoryRecord& record, const HistoryFilter& filter);

// Collects the chosen records as they are read, oldest first, keeping only the newest `last`.
class RecordSelection {
 public:
  explicit RecordSelection(HistoryFilter filter) : filter_(std::move(filter)) {}
  void Offer(const HistoryRecord& record);
  const std::deque<HistoryRecord>& Chosen() const { return chosen_; }

 private:
  const HistoryFilter filter_;
  std::deque<HistoryRecord> chosen_;
};

std::vector<HistoryRecord> SelectRecords(const std::vector<HistoryRecord>& records,
                                         const HistoryFilter& filter);

}  // namespace vannor
