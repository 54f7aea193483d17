// The history as CSV that a spreadsheet opens as it is: the window's "Save as CSV..." and
// `vannor-cli history --csv` both write it through here.
//
// RFC 4180 (quotes where needed, lines ended by CR LF), UTF-8 with a byte-order mark (without
// one a spreadsheet on Windows reads the names in the machine's own code page), a header row.
// The first column is the local time with its offset ("2026-12-08T19:55:08.123+01:00"); every
// field of the record's JSON line follows under its own name, with the value the JSON gives
// (names escaped as the record escapes them: a byte that is not UTF-8 as \udcff; an empty cell
// for null). A text that a
// spreadsheet would take for a formula (leading =, +, -, @, tab or CR) gets a leading
// apostrophe, and so does one that already begins with an apostrophe, so that a reader undoes
// it by taking one leading apostrophe off; the record itself is unchanged.
#pragma once

#include <string>

#include "history/history_record.h"

namespace vannor {

// The byte-order mark and the header row.
std::string HistoryCsvHeader();
// One record's row, CR LF included.
void AppendHistoryCsvRow(std::string& out, const HistoryRecord& record);

// "2026-12-08T18:55:08.123Z" in this machine's local time with its offset; empty when `utc` is
// not such a time.
std::string LocalTimeWithOffset(const std::string& utc);

}  // namespace vannor
