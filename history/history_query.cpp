#include "history/history_query.h"

#include <algorithm>
#include <chrono>

namespace vannor {

namespace {

// The number of the digits at `at`, `count` of them; -1 where one is not a digit.
int Number(const std::string& text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

bool ValidSince(const std::string& date) {
  const std::size_t size = date.size();
  if ((size != 10 && size != 16 && size != 19) || date[4] != '-' || date[7] != '-') return false;
  const int year = Number(date, 0, 4), month = Number(date, 5, 2), day = Number(date, 8, 2);
  if (year < 0 || month < 0 || day < 0) return false;
  const std::chrono::year_month_day ymd{std::chrono::year(year),
                                        std::chrono::month(static_cast<unsigned>(month)),
                                        std::chrono::day(static_cast<unsigned>(day))};
  if (!ymd.ok()) return false;
  if (size == 10) return true;
  const int hour = Number(date, 11, 2), minute = Number(date, 14, 2);
  if (date[10] != 'T' || date[13] != ':' || hour < 0 || hour > 23 || minute < 0 || minute > 59) {
    return false;
  }
  if (size == 16) return true;
  const int second = Number(date, 17, 2);
  return date[16] == ':' && second >= 0 && second <= 59;
}

bool RecordChosen(const HistoryRecord& record, const HistoryFilter& filter) {
  const bool port = filter.ports.empty() || std::find(filter.ports.begin(), filter.ports.end(),
                                                      record.port) != filter.ports.end();
  // The times are all of one form, so that text order is time order.
  return port && record.time >= filter.since &&
         (filter.sha256.empty() || record.sha256 == filter.sha256) && !(filter.failed && record.ok);
}

void RecordSelection::Offer(const HistoryRecord& record) {
  if (!RecordChosen(record, filter_)) return;
  chosen_.push_back(record);
  if (filter_.last > 0 && chosen_.size() > filter_.last) chosen_.pop_front();
}

std::vector<HistoryRecord> SelectRecords(const std::vector<HistoryRecord>& records,
                                         const HistoryFilter& filter) {
  RecordSelection selection(filter);
  for (const HistoryRecord& record : records) selection.Offer(record);
  return {selection.Chosen().begin(), selection.Chosen().end()};
}

}  // namespace vannor
