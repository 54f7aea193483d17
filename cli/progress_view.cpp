#include "cli/progress_view.h"

#include "protocol/number_texts.h"

namespace vannor::cli {

namespace {

constexpr int BAR_WIDTH = 24;

}  // namespace

ProgressView::ProgressView(std::FILE* out, bool terminal, std::vector<std::string> ports,
                           std::string sha256)
    : out_(out), terminal_(terminal), sha256_(std::move(sha256)) {
  if (terminal_) std::fprintf(out_, "image sha256 %s\n", sha256_.c_str());
  for (std::string& port : ports) rows_.push_back(Row{.port = std::move(port), .text = {}});
  for (Row& row : rows_) row.text = row.port + ": waiting for the radio";
}

std::string ProgressView::Line(const std::string& port, std::uint32_t confirmed,
                               std::uint32_t length, std::chrono::steady_clock::duration elapsed) {
  const double fraction = length == 0 ? 0.0 : static_cast<double>(confirmed) / length;
  const int filled = static_cast<int>(fraction * BAR_WIDTH);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(BAR_WIDTH, '-');
  const double seconds = std::chrono::duration<double>(elapsed).count();
  const double rate = seconds > 0 ? confirmed / seconds : 0.0;
  char text[160];
  if (rate > 0 && confirmed < length) {
    const auto left = static_cast<long>((length - confirmed) / rate + 0.5);
    std::snprintf(text, sizeof text, "%s [%s] %3u%% %u/%u %s %.0f B/s %ld:%02ld left", port.c_str(),
                  bar.c_str(), static_cast<unsigned>(fraction * 100), confirmed, length,
                  ByteUnit(length), rate, left / 60, left % 60);
  } else {
    std::snprintf(text, sizeof text, "%s [%s] %3u%% %u/%u %s", port.c_str(), bar.c_str(),
                  static_cast<unsigned>(fraction * 100), confirmed, length, ByteUnit(length));
  }
  return text;
}

void ProgressView::Started(std::size_t index, std::uint32_t length) {
  Row& row = rows_[index];
  row.started = std::chrono::steady_clock::now();
  row.lastTenth = 0;
  row.text = Line(row.port, 0, length, {});
  if (terminal_) {
    Redraw();
  } else {
    std::fprintf(out_, "%s: writing %u %s, sha256 %s\n", row.port.c_str(), length, ByteUnit(length),
                 sha256_.c_str());
  }
}

void ProgressView::Progress(std::size_t index, std::uint32_t confirmed, std::uint32_t length) {
  Row& row = rows_[index];
  if (terminal_) {
    row.text = Line(row.port, confirmed, length, std::chrono::steady_clock::now() - row.started);
    Redraw();
    return;
  }
  const unsigned tenth = static_cast<unsigned>(static_cast<std::uint64_t>(confirmed) * 10 / length);
  if (tenth == row.lastTenth) return;
  row.lastTenth = tenth;
  std::fprintf(out_, "%s: %u%% (%u of %u %s)\n", row.port.c_str(), tenth * 10, confirmed, length,
               ByteUnit(length));
}

void ProgressView::Finished(std::size_t index, bool succeeded) {
  rows_[index].text += succeeded ? "  done" : "  failed";
  if (terminal_) Redraw();
}

void ProgressView::Redraw() {
  // Back to the first row, then every row again, each cleared first.
  if (drawn_ && rows_.size() > 0) std::fprintf(out_, "\x1b[%zuA", rows_.size());
  for (const Row& row : rows_) std::fprintf(out_, "\r\x1b[2K%s\n", row.text.c_str());
  drawn_ = true;
  std::fflush(out_);
}

}  // namespace vannor::cli
