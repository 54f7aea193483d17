#include "history/history_index.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "history/history_file.h"
#include "history/history_log.h"

namespace vannor {

namespace {

// Far longer than any record we write: a longer line is counted, never held.
constexpr std::size_t MAX_LINE = 64 * 1024;
// What one read of the files takes at most.
constexpr std::size_t CHUNK = 1024 * 1024;
// Records kept for the rows on screen; a screenful is a few dozen.
constexpr std::size_t SHOWN_KEPT = 512;

std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Reads all `count` bytes at `offset`; false when the file ends before them or cannot be read.
bool ReadWhole(HistoryFile& file, char* buffer, std::size_t count, std::uint64_t offset) {
  while (count > 0) {
    const long long got = file.ReadAt(buffer, count, static_cast<std::int64_t>(offset));
    if (got <= 0) return false;
    buffer += got;
    count -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

bool Holds(const std::string& text, const std::string& part) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

bool Chosen(const HistoryRecord& record, const HistoryNarrowing& narrowing) {
  // The times are all of one form, so that text order is time order.
  return !(narrowing.failed && record.ok) &&
         (narrowing.port.empty() || record.port == narrowing.port) &&
         record.time >= narrowing.since &&
         (narrowing.text.empty() || Holds(record.image, narrowing.text) ||
          Holds(record.sha256, narrowing.text));
}

}  // namespace

HistoryIndex::HistoryIndex(std::string path) : paths_{RotatedHistoryPath(path), std::move(path)} {}

void HistoryIndex::Load(const HistoryNarrowing& narrowing, std::chrono::milliseconds budget) {
  narrowing_ = narrowing;
  found_.clear();
  rows_.clear();
  shown_.clear();
  ports_.clear();
  unreadable_ = 0;
  problem_.clear();
  for (const File file : {OLDER, NEWER}) {
    ends_[file] = 0;
    (void)FindLines(file, 0, ends_[file], found_);  // what it could not read is in problem_
  }
  next_ = found_.size();
  Continue(budget);
}

void HistoryIndex::Continue(std::chrono::milliseconds budget) {
  const auto stop = std::chrono::steady_clock::now() + budget;
  std::vector<Line> chosen;
  while (next_ > 0) {
    // The newest lines not yet read, of one file and within one read.
    const Line& last = found_[next_ - 1];
    std::size_t first = next_ - 1;
    while (first > 0 && found_[first - 1].file == last.file &&
           last.offset + last.length - found_[first - 1].offset <= CHUNK) {
      --first;
    }
    chosen.clear();
    ReadLines(&found_[first], next_ - first, chosen);
    for (auto line = chosen.rbegin(); line != chosen.rend(); ++line) rows_.push_back(*line);
    next_ = first;
    if (std::chrono::steady_clock::now() >= stop) break;
  }
  if (next_ == 0) {
    found_.clear();
    found_.shrink_to_fit();
  }
}

bool HistoryIndex::Follow(std::size_t& added) {
  added = 0;
  std::error_code error;
  const auto sizeOf = [&](File file) {
    const std::uintmax_t size = std::filesystem::file_size(FsPath(paths_[file]), error);
    return error ? std::uint64_t{0} : static_cast<std::uint64_t>(size);
  };
  // The file moved to the older name (or was cut, or removed): what the rows point at moved.
  if (sizeOf(OLDER) != ends_[OLDER] || sizeOf(NEWER) < ends_[NEWER]) {
    Load(narrowing_, std::chrono::milliseconds(0));
    return true;
  }
  std::vector<Line> fresh;
  if (!FindLines(NEWER, ends_[NEWER], ends_[NEWER], fresh) || fresh.empty()) return false;
  std::vector<Line> chosen;
  for (std::size_t first = 0; first < fresh.size();) {
    std::size_t end = first + 1;
    while (end < fresh.size() &&
           fresh[end].offset + fresh[end].length - fresh[first].offset <= CHUNK) {
      ++end;
    }
    ReadLines(&fresh[first], end - first, chosen);
    first = end;
  }
  for (const Line& line : chosen) rows_.push_front(line);
  added = chosen.size();
  return added > 0;
}

bool HistoryIndex::FindLines(File which, std::uint64_t from, std::uint64_t& end,
                             std::vector<Line>& found) {
  // Opened without waiting and without following a link, and only a plain file: a FIFO or a
  // device would hold the window, and a link could lead it anywhere.
  HistoryFile file(paths_[which], HistoryFile::Use::Read);
  if (!file.IsOpen()) {
    if (file.Missing()) {
      end = 0;
      return true;
    }
    problem_ = paths_[which] + ": " + file.Problem();
    return false;
  }
  std::string buffer(CHUNK, '\0');
  std::uint64_t at = from;         // where the buffer's first byte lies
  std::uint64_t lineStart = from;  // where the line being found began
  long long read = 0;
  while ((read = file.ReadAt(buffer.data(), buffer.size(), static_cast<std::int64_t>(at))) > 0) {
    const std::size_t got = static_cast<std::size_t>(read);
    for (std::size_t begin = 0; begin < got;) {
      const void* newline = std::memchr(buffer.data() + begin, '\n', got - begin);
      if (newline == nullptr) break;
      const std::uint64_t lineEnd =
          at + static_cast<std::size_t>(static_cast<const char*>(newline) - buffer.data());
      if (lineEnd - lineStart > MAX_LINE) {
        ++unreadable_;
      } else {
        found.push_back(Line{.offset = lineStart,
                             .length = static_cast<std::uint32_t>(lineEnd - lineStart),
                             .file = which});
      }
      lineStart = lineEnd + 1;
      begin = static_cast<std::size_t>(lineStart - at);
    }
    at += got;
  }
  if (read < 0) {
    problem_ = paths_[which] + ": " + file.Problem();
    return false;
  }
  // A last line without its end: the older file gets no more, so it was cut; in the file it
  // may still be on its way, and is read once it ends.
  if (lineStart < at && which == OLDER) {
    ++unreadable_;
    lineStart = at;
  }
  end = lineStart;
  return true;
}

void HistoryIndex::ReadLines(const Line* lines, std::size_t count, std::vector<Line>& chosen) {
  if (count == 0) return;
  const std::uint64_t from = lines[0].offset;
  std::string text(lines[count - 1].offset + lines[count - 1].length - from, '\0');
  HistoryFile file(paths_[lines[0].file], HistoryFile::Use::Read);
  if (!file.IsOpen() || !ReadWhole(file, text.data(), text.size(), from)) {
    // Gone since its lines were found: the next look finds the history anew.
    unreadable_ += count;
    return;
  }
  HistoryRecord record;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view line(text.data() + (lines[i].offset - from), lines[i].length);
    if (!ParseRecord(line, record)) {
      ++unreadable_;
      continue;
    }
    ++ports_[record.port];
    if (Chosen(record, narrowing_)) chosen.push_back(lines[i]);
  }
}

bool HistoryIndex::Record(std::size_t row, HistoryRecord& record) {
  if (row >= rows_.size()) return false;
  const Line& line = rows_[row];
  const std::pair<int, std::uint64_t> key{line.file, line.offset};
  if (const auto kept = shown_.find(key); kept != shown_.end()) {
    record = kept->second;
    return true;
  }
  std::string text(line.length, '\0');
  HistoryFile file(paths_[line.file], HistoryFile::Use::Read);
  if (!file.IsOpen() || !ReadWhole(file, text.data(), text.size(), line.offset) ||
      !ParseRecord(text, record)) {
    return false;
  }
  if (shown_.size() >= SHOWN_KEPT) shown_.clear();
  shown_.emplace(key, record);
  return true;
}

std::vector<std::string> HistoryIndex::Ports() const {
  std::vector<std::string> names;
  for (const auto& [name, count] : ports_) names.push_back(name);
  return names;
}

}  // namespace vannor
