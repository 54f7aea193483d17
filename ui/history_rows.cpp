#include "ui/history_rows.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "history/history_csv.h"
#include "history/history_query.h"
#include "history/json_text.h"

namespace vannor {

namespace {

std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Took(long long ms) {
  char text[32];
  const int written = ms < 60000 ? std::snprintf(text, sizeof text, "%.1f s", ms / 1000.0)
                                 : std::snprintf(text, sizeof text, "%lld min %lld s", ms / 60000,
                                                 ms % 60000 / 1000);
  return written > 0 ? std::string(text, static_cast<std::size_t>(written)) : std::string();
}

std::string Joined(const HistoryRow& row) {
  std::string line;
  for (std::size_t column = 0; column < row.size(); ++column) {
    line += (column == 0 ? "" : "\t") + row[column];
  }
  return line + "\n";
}

}  // namespace

std::string ShownText(std::string_view text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80 ? 1 : Utf8Length(text.substr(i));
    if (length == 0 || c < 0x20 || c == 0x7F) {
      char escaped[8];
      const int written = c == '\n'   ? std::snprintf(escaped, sizeof escaped, "\\n")
                          : c == '\t' ? std::snprintf(escaped, sizeof escaped, "\\t")
                          : c == '\r' ? std::snprintf(escaped, sizeof escaped, "\\r")
                          : c >= 0x80 ? std::snprintf(escaped, sizeof escaped, "\\udc%02x", c)
                                      : std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      if (written > 0) shown.append(escaped, static_cast<std::size_t>(written));
      ++i;
      continue;
    }
    shown.append(text.substr(i, length));
    i += length;
  }
  return shown;
}

HistoryRow RowOf(const HistoryRecord& record) {
  const std::string local = LocalTimeWithOffset(record.time);
  const bool update = record.request == "update";
  HistoryRow row;
  row[0] = local.size() >= 19 ? local.substr(0, 10) + " " + local.substr(11, 8) : record.time;
  row[1] = ShownText(record.port);
  row[2] = ShownText(record.device.empty() ? record.adapter : record.device);
  row[3] = update ? "Update" : record.request == "version" ? "Ver Read" : ShownText(record.request);
  row[4] = update ? ShownText(record.dsps) : "DSP1, DSP2";
  // A request refused before its image was read has no bytes to tell.
  row[5] = update && record.size > 0
               ? std::to_string(record.confirmed) + " / " + std::to_string(record.size)
               : "";
  const std::string box = Trimmed(record.message);
  row[6] = ShownText(box.empty() ? record.outcome : box);
  if (record.request == "version" && record.ok) {
    row[6] += ": " + ShownText(record.dsp1) + " " + ShownText(record.dsp2);
  }
  row[7] = ShownText(FileName(record.image));
  row[8] = ShownText(record.sha256.substr(0, 12));
  row[9] = Took(record.ms);
  return row;
}

std::string CopiedRows(const std::vector<HistoryRecord>& records) {
  HistoryRow header;
  for (std::size_t column = 0; column < header.size(); ++column) {
    header[column] = HISTORY_COLUMN_TITLES[column];
  }
  std::string text = Joined(header);
  for (const HistoryRecord& record : records) {
    HistoryRow row = RowOf(record);
    row[DIGEST_COLUMN] = ShownText(record.sha256);
    text += Joined(row);
  }
  return text;
}

std::string RowTip(const HistoryRecord& record) {
  std::string tip;
  if (!record.sha256.empty()) tip = "SHA-256 " + ShownText(record.sha256);
  if (!record.image.empty()) tip += (tip.empty() ? "" : "\n") + ShownText(record.image);
  if (!record.cause.empty()) tip += (tip.empty() ? "" : "\n") + ShownText(record.cause);
  return tip;
}

std::string SinceFromLocal(const std::string& local) {
  if (!ValidSince(local)) return {};
  std::tm when{};
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  const int read = std::sscanf(local.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s);
  if (read != 3 && read < 5) return {};
  when.tm_year = y - 1900;
  when.tm_mon = mo - 1;
  when.tm_mday = d;
  when.tm_hour = h;
  when.tm_min = mi;
  when.tm_sec = s;
  when.tm_isdst = -1;  // as the day had it
  const std::time_t utc = std::mktime(&when);
  // The C library moves an impossible date on (February 31 to March 3): no such date.
  if (utc == static_cast<std::time_t>(-1) || when.tm_mday != d || when.tm_mon != mo - 1 || h > 23 ||
      mi > 59 || s > 59) {
    return {};
  }
  return UtcTimestamp(std::chrono::system_clock::from_time_t(utc));
}

}  // namespace vannor
