#include "history/history_reader.h"

#include <cstring>
#include <vector>

#include "history/history_file.h"
#include "history/history_log.h"

namespace vannor {

namespace {

constexpr std::size_t CHUNK = 64 * 1024;

bool Blank(const std::string& line) {
  return line.find_first_not_of(" \t\r") == std::string::npos;
}

class FileReader {
 public:
  FileReader(HistoryFileRead& result, const HistoryRecordSink& each)
      : result_(result), each_(each) {
    line_.reserve(HISTORY_LINE_LIMIT);
  }

  void Take(const char* bytes, std::size_t count) {
    for (std::size_t at = 0; at < count;) {
      const char* end = static_cast<const char*>(std::memchr(bytes + at, '\n', count - at));
      const std::size_t piece =
          (end != nullptr ? static_cast<std::size_t>(end - bytes) : count) - at;
      if (!overlong_ && line_.size() + piece <= HISTORY_LINE_LIMIT) {
        line_.append(bytes + at, piece);
      } else {
        overlong_ = true;
        line_.clear();
      }
      at += piece;
      if (end == nullptr) break;
      ++at;
      EndLine();
    }
  }
  // What is left after the last line's end: a line cut short, counted.
  void Finish() {
    if (overlong_ || !line_.empty()) EndLine();
  }

 private:
  void EndLine() {
    if (overlong_) {
      ++result_.unreadable;
    } else if (!Blank(line_)) {
      if (ParseRecord(line_, record_)) {
        each_(record_);
      } else {
        ++result_.unreadable;
      }
    }
    line_.clear();
    overlong_ = false;
  }

  HistoryFileRead& result_;
  const HistoryRecordSink& each_;
  std::string line_;
  bool overlong_ = false;
  HistoryRecord record_;
};

// Reads one file into `each`; false when `stop` ended it.
bool ReadFile(HistoryFileRead& result, const HistoryRecordSink& each, const HistoryReadStop& stop,
              std::vector<char>& buffer) {
  HistoryFile file(result.path, HistoryFile::Use::Read);
  if (!file.IsOpen()) {
    result.missing = file.Missing();
    if (!result.missing) result.failure = file.Problem();
    return true;
  }
  FileReader reader(result, each);
  for (;;) {
    if (stop && stop()) return false;
    const long long got = file.Read(buffer.data(), buffer.size());
    if (got < 0) {
      result.failure = file.Problem();
      return true;
    }
    if (got == 0) break;
    reader.Take(buffer.data(), static_cast<std::size_t>(got));
  }
  reader.Finish();
  return true;
}

}  // namespace

HistoryRead ReadHistory(const std::string& path, const HistoryRecordSink& each,
                        const HistoryReadStop& stop) {
  HistoryRead read;
  read.older.path = RotatedHistoryPath(path);
  read.newest.path = path;
  std::vector<char> buffer(CHUNK);
  read.stopped =
      !ReadFile(read.older, each, stop, buffer) || !ReadFile(read.newest, each, stop, buffer);
  return read;
}

}  // namespace vannor
