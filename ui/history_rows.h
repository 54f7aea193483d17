// What the history dialog shows of a record, one text per column, and what it copies: plain
// text, the same on every system, kept apart from the list that shows it.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_record.h"

namespace vannor {

inline constexpr std::size_t HISTORY_COLUMNS = 10;
// The column whose text the copy gives whole: the SHA-256, of which the list shows 12 digits.
inline constexpr std::size_t DIGEST_COLUMN = 8;
inline constexpr std::array<std::string_view, HISTORY_COLUMNS> HISTORY_COLUMN_TITLES = {
    "Time", "Port", "Device", "Request", "DSPs", "Bytes", "Outcome", "Image", "SHA-256", "Took"};

using HistoryRow = std::array<std::string, HISTORY_COLUMNS>;

// The row of `record`: local time, port, device (or adapter), Update or Ver Read, DSPs, bytes
// confirmed of the image's size, the window's box text (else the record's word), the image's
// file name, the SHA-256's first 12 digits and the time taken. Control characters and bytes that
// are not UTF-8 are shown as escapes (\n, \x1b, \udcff as the record writes them), so that one name
// never looks like another.
HistoryRow RowOf(const HistoryRecord& record);

// The selected records as the copy gives them: a header line, then one line a record, the
// columns separated by tabs and the SHA-256 whole.
std::string CopiedRows(const std::vector<HistoryRecord>& records);

// The row's tooltip: the whole SHA-256 and the cause of a failure.
std::string RowTip(const HistoryRecord& record);

// `text` with control characters and bytes that are not UTF-8 as escapes.
std::string ShownText(std::string_view text);

// A day (2026-12-08) or a day and time (2026-12-08T14:00) in local time as the UTC time that
// records are written in; empty when it is no such date.
std::string SinceFromLocal(const std::string& local);

}  // namespace vannor
