#include "history/history_csv.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <vector>

#include "history/json_text.h"

namespace vannor {

namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
constexpr std::string_view LOCAL_TIME_COLUMN = "local_time";
// What a spreadsheet takes for the start of a formula, and the apostrophe that marks a text.
constexpr std::string_view FORMULA_LEADS = "=+-@\t\r'";

void AppendCell(std::string& out, std::string_view text, bool inert) {
  std::string cell;
  if (inert && !text.empty() && FORMULA_LEADS.find(text.front()) != std::string_view::npos) {
    cell += '\'';
  }
  // A byte that is not UTF-8 as the record writes it (\udcff): the cell stays UTF-8.
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80 ? 1 : Utf8Length(text.substr(i));
    if (length == 0) {
      char escaped[8];
      const int written = std::snprintf(escaped, sizeof escaped, "\\udc%02x", c);
      if (written > 0) cell.append(escaped, static_cast<std::size_t>(written));
      ++i;
    } else {
      cell.append(text.substr(i, length));
      i += length;
    }
  }
  if (cell.find_first_of("\",\r\n") == std::string::npos) {
    out += cell;
    return;
  }
  out += '"';
  for (const char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// The record's fields as its JSON line holds them, so that the columns are the line's fields,
// in its order, with its escapes.
std::vector<JsonField> Fields(const HistoryRecord& record) {
  std::vector<JsonField> fields;
  // A line the record itself wrote always parses; should it not, the row is the local time alone.
  (void)ParseJsonObject(RecordJson(record), fields);
  return fields;
}

// Days since 1970-01-01 of a civil date (the proleptic Gregorian calendar).
long long DaysFromCivil(int y, unsigned m, unsigned d) {
  using namespace std::chrono;
  return sys_days{year{y} / month{m} / day{d}}.time_since_epoch().count();
}

}  // namespace

std::string LocalTimeWithOffset(const std::string& utc) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  char zone = 0;
  int used = 0;
  if (std::sscanf(utc.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c%n", &y, &mo, &d, &h, &mi, &s, &ms,
                  &zone, &used) != 8 ||
      zone != 'Z' || static_cast<std::size_t>(used) != utc.size()) {
    return {};
  }
  const std::chrono::year_month_day date{std::chrono::year{y} / mo / d};
  if (!date.ok() || h > 23 || mi > 59 || s > 60) return {};
  const long long seconds =
      DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 +
      mi * 60 + s;
  const std::time_t when = static_cast<std::time_t>(seconds);
  // The C library's own buffer: read at once, on the one thread that formats.
  const std::tm* local = std::localtime(&when);
  if (local == nullptr) return {};
  const long long localSeconds =
      DaysFromCivil(local->tm_year + 1900, static_cast<unsigned>(local->tm_mon + 1),
                    static_cast<unsigned>(local->tm_mday)) *
          86400 +
      local->tm_hour * 3600 + local->tm_min * 60 + local->tm_sec;
  const long long offset = (localSeconds - seconds) / 60;
  const long long away = offset < 0 ? -offset : offset;
  char text[48];
  const int written =
      std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02lld:%02lld",
                    local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour,
                    local->tm_min, local->tm_sec, ms, offset < 0 ? '-' : '+', away / 60, away % 60);
  return written > 0 ? std::string(text, static_cast<std::size_t>(written)) : std::string();
}

std::string HistoryCsvHeader() {
  std::string out(BYTE_ORDER_MARK);
  out += LOCAL_TIME_COLUMN;
  for (const JsonField& field : Fields(HistoryRecord{})) {
    out += ',';
    AppendCell(out, field.name, true);
  }
  return out + "\r\n";
}

void AppendHistoryCsvRow(std::string& out, const HistoryRecord& record) {
  AppendCell(out, LocalTimeWithOffset(record.time), false);
  for (const JsonField& field : Fields(record)) {
    out += ',';
    switch (field.kind) {
      case JsonField::Kind::String:
        AppendCell(out, field.text, true);
        break;
      case JsonField::Kind::Number:
        out += std::to_string(field.number);
        break;
      case JsonField::Kind::Bool:
        out += field.number != 0 ? "true" : "false";
        break;
      case JsonField::Kind::Null:
        break;
    }
  }
  out += "\r\n";
}

}  // namespace vannor
