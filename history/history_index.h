// The history as a list that shows it reads it. Opening finds where each line lies (one pass of
// the files, no parsing); the lines are then read as records from the newest back, a slice at a
// time, so that the newest rows are there at once and a caller's loop is never held for long; a
// row is read again from its file when it is shown. 100,000 records cost the list a few
// megabytes, however long their lines, and following new records costs only the new lines.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "history/history_record.h"

namespace vannor {

// Which records the list shows.
struct HistoryNarrowing {
  bool failed = false;  // only requests that did not succeed
  std::string port;     // only this port, as named; empty: every port
  std::string text;     // only images whose name or SHA-256 holds this (any case); empty: all
  std::string since;    // only records from then on: a UTC time as the records write it
};

class HistoryIndex {
 public:
  // The history at `path`, with its older file beside it.
  explicit HistoryIndex(std::string path);

  // Finds the lines of the older file, then of the file, and reads the newest of them for
  // `budget`. Problem says when a file could not be read; a history not yet made is an empty one.
  void Load(const HistoryNarrowing& narrowing, std::chrono::milliseconds budget);
  // Whether lines remain to be read as records; each Continue reads on for `budget`.
  bool Pending() const { return next_ > 0; }
  void Continue(std::chrono::milliseconds budget);
  // Takes in the records written since the last look; the whole is found again when the file
  // moved to its older name meanwhile. True when the rows changed; `added` is how many came in
  // at the top (0 when all was found again).
  bool Follow(std::size_t& added);

  // The rows read so far, newest first.
  std::size_t Count() const { return rows_.size(); }
  // The record of row `row`; false when its line could not be read again (the file changed).
  bool Record(std::size_t row, HistoryRecord& record);
  // Lines found so far that were not records (torn, foreign, too long), both files together.
  std::size_t Unreadable() const { return unreadable_; }
  // Why the history, or one of its files, could not be read; empty when all was read.
  const std::string& Problem() const { return problem_; }
  // The ports named by the records read so far (whatever the narrowing), in name order.
  std::vector<std::string> Ports() const;

 private:
  enum File : std::uint8_t { OLDER = 0, NEWER = 1 };
  struct Line {
    std::uint64_t offset;
    std::uint32_t length;
    File file;
  };
  // Finds the lines of `file` from `from` on and appends them to `found`; where its last whole
  // line ends in `end`. False when it cannot be read.
  bool FindLines(File file, std::uint64_t from, std::uint64_t& end, std::vector<Line>& found);
  // Reads `lines` (of one file, in file order) as records; those the narrowing lets through go
  // to `chosen`, in the same order.
  void ReadLines(const Line* lines, std::size_t count, std::vector<Line>& chosen);

  std::string paths_[2];
  HistoryNarrowing narrowing_;
  std::vector<Line> found_;  // every whole line, oldest first
  std::size_t next_ = 0;     // found_[0, next_) are still to be read as records
  std::deque<Line> rows_;    // the records chosen, newest first
  std::uint64_t ends_[2] = {0, 0};
  std::size_t unreadable_ = 0;
  std::string problem_;
  std::map<std::string, std::size_t> ports_;
  // The records shown last, by where their line lies; kept small.
  std::map<std::pair<int, std::uint64_t>, HistoryRecord> shown_;
};

}  // namespace vannor
