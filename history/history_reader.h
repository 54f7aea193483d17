// The history read back, for `vannor-cli history` and the window's history: every record of the
// older file, then of the file, oldest first, handed to a callback one at a time, with what could
// not be read counted and told per file. Memory stays bounded whatever the files hold.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "history/history_record.h"

namespace vannor {

// No record we write comes near this; a longer line is skipped (and counted) as it streams past.
inline constexpr std::size_t HISTORY_LINE_LIMIT = 64 * 1024;

struct HistoryFileRead {
  std::string path;
  bool missing = false;        // no such file: an empty history, not a failure
  std::string failure;         // why it could not be opened or read to its end; empty when it could
  std::size_t unreadable = 0;  // lines that are no record: torn, foreign, over-long
};

struct HistoryRead {
  HistoryFileRead older;   // RotatedHistoryPath
  HistoryFileRead newest;  // the path itself
  bool stopped = false;    // `stop` said so before the end

  bool Failed() const { return !older.failure.empty() || !newest.failure.empty(); }
  std::size_t Unreadable() const { return older.unreadable + newest.unreadable; }
};

using HistoryRecordSink = std::function<void(const HistoryRecord&)>;
// Asked between reads of the file; true ends the reading (Ctrl-C on a huge file).
using HistoryReadStop = std::function<bool()>;

HistoryRead ReadHistory(const std::string& path, const HistoryRecordSink& each,
                        const HistoryReadStop& stop = {});

}  // namespace vannor
