#include "history/history_record.h"

#include <cstdio>
#include <vector>

#include "history/json_text.h"

namespace vannor {

namespace {

// Every field, in the order of the line, with where it is kept and when it is null.
struct Field {
  const char* name;
  std::string HistoryRecord::*text = nullptr;
  std::uint32_t HistoryRecord::*count = nullptr;
  unsigned HistoryRecord::*mask = nullptr;
  long long HistoryRecord::*ms = nullptr;
  bool HistoryRecord::*flag = nullptr;
  enum class Only { Always, Update, Version } only = Only::Always;
};

using R = HistoryRecord;
using O = Field::Only;
const Field FIELDS[] = {
    {.name = "time", .text = &R::time},
    {.name = "program", .text = &R::program},
    {.name = "version", .text = &R::version},
    {.name = "host", .text = &R::host},
    {.name = "user", .text = &R::user},
    {.name = "port", .text = &R::port},
    {.name = "device", .text = &R::device},
    {.name = "adapter", .text = &R::adapter},
    {.name = "request", .text = &R::request},
    {.name = "image", .text = &R::image, .only = O::Update},
    {.name = "size", .count = &R::size, .only = O::Update},
    {.name = "sha256", .text = &R::sha256, .only = O::Update},
    {.name = "mask", .mask = &R::mask, .only = O::Update},
    {.name = "dsps", .text = &R::dsps, .only = O::Update},
    {.name = "outcome", .text = &R::outcome},
    {.name = "message", .text = &R::message},
    {.name = "cause", .text = &R::cause},
    {.name = "ok", .flag = &R::ok},
    {.name = "confirmed", .count = &R::confirmed, .only = O::Update},
    {.name = "ms", .ms = &R::ms},
    {.name = "dsp1", .text = &R::dsp1, .only = O::Version},
    {.name = "dsp2", .text = &R::dsp2, .only = O::Version},
};

bool Applies(const Field& field, const HistoryRecord& record) {
  if (field.only == O::Update) return record.request == "update";
  if (field.only == O::Version) return record.request == "version";
  return true;
}

}  // namespace

std::string RecordJson(const HistoryRecord& record) {
  std::string line = "{";
  for (const Field& field : FIELDS) {
    if (line.size() > 1) line += ',';
    AppendJsonString(line, field.name);
    line += ':';
    if (!Applies(field, record)) {
      line += "null";
    } else if (field.text != nullptr) {
      AppendJsonString(line, record.*field.text);
    } else if (field.flag != nullptr) {
      line += record.*field.flag ? "true" : "false";
    } else if (field.count != nullptr) {
      line += std::to_string(record.*field.count);
    } else if (field.mask != nullptr) {
      line += std::to_string(record.*field.mask);
    } else {
      line += std::to_string(record.*field.ms);
    }
  }
  return line + "}";
}

bool ParseRecord(std::string_view line, HistoryRecord& record) {
  std::vector<JsonField> fields;
  if (!ParseJsonObject(line, fields)) return false;
  record = HistoryRecord{};
  for (const JsonField& value : fields) {
    for (const Field& field : FIELDS) {
      if (value.name != field.name) continue;
      if (field.text != nullptr) record.*field.text = value.text;
      if (field.flag != nullptr) record.*field.flag = value.number != 0;
      if (field.count != nullptr) record.*field.count = static_cast<std::uint32_t>(value.number);
      if (field.mask != nullptr) record.*field.mask = static_cast<unsigned>(value.number);
      if (field.ms != nullptr) record.*field.ms = value.number;
    }
  }
  // A line without its time and request is none of ours.
  return !record.time.empty() && !record.request.empty();
}

std::string UtcTimestamp(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(time);
  const auto day = floor<days>(ms);
  const year_month_day date{day};
  const hh_mm_ss clock{ms - day};
  char text[32];
  const int written = std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
      static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return written > 0 ? std::string(text, static_cast<std::size_t>(written)) : std::string();
}

}  // namespace vannor
