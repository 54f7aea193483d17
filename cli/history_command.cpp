#include "cli/history_command.h"

#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/image_refusal.h"
#include "history/history_csv.h"
#include "history/history_log.h"
#include "history/history_query.h"
#include "history/history_reader.h"
#include "history/json_text.h"
#include "image/update_image.h"

namespace vannor::cli {

namespace {

// How many rows go out between two looks for a signal.
constexpr std::size_t ROWS_PER_LOOK = 1000;

// What a record's last column says: the image or the versions, and why it failed.
std::string Details(const HistoryRecord& record) {
  std::vector<std::string> parts;
  if (record.request == "version" && record.ok) {
    parts.push_back("DSP1 " + record.dsp1 + "  DSP2 " + record.dsp2);
  } else if (record.request == "update") {
    parts.push_back(record.dsps);
    // A request refused before its image was read has no bytes to tell.
    if (record.size > 0) {
      parts.push_back(std::to_string(record.confirmed) + "/" + std::to_string(record.size));
    }
    parts.push_back(record.sha256.substr(0, 12));
    parts.push_back(record.image);
  }
  if (!record.cause.empty()) parts.push_back("(" + record.cause + ")");
  std::string text;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    text += (text.empty() ? "" : "  ") + part;
  }
  return text;
}

// One row per record, whatever its fields hold: a name from another user's run can neither
// steer the terminal nor split the row.
void PrintRow(const HistoryRecord& record, std::FILE* out) {
  // To the second: the milliseconds are in --json.
  const std::string time = TerminalText(record.time.substr(0, 19) + "Z");
  std::fprintf(out, "%-20s  %-6s  %-7s  %-19s  %s\n", time.c_str(),
               TerminalText(record.port).c_str(), TerminalText(record.request).c_str(),
               TerminalText(record.outcome).c_str(), TerminalText(Details(record)).c_str());
}

// Each file that could not be read, and the lines that were no record; true when all was read.
bool TellWhatWasNotRead(const HistoryFileRead& file) {
  if (file.unreadable > 0) {
    std::fprintf(stderr, "vannor-cli: history %s: %zu line%s could not be read\n",
                 file.path.c_str(), file.unreadable, file.unreadable == 1 ? "" : "s");
  }
  if (file.failure.empty()) return true;
  std::fprintf(stderr, "vannor-cli: history %s: %s\n", file.path.c_str(), file.failure.c_str());
  return false;
}

}  // namespace

int ShowHistory(const Options& options, const SignalWatch& signals, std::FILE* out) {
  std::string whyNone;
  const std::string path =
      ChosenHistoryPath(options.history ? options.history->c_str() : nullptr, &whyNone);
  if (path.empty()) {
    std::fprintf(stderr, "vannor-cli: no history is kept (%s)\n",
                 whyNone.empty() ? "--history - or VANNOR_HISTORY empty" : whyNone.c_str());
    return whyNone.empty() ? EXIT_USAGE : EXIT_HISTORY_UNREADABLE;
  }
  HistoryFilter filter{.ports = options.ports,
                       .since = options.since,
                       .sha256 = {},
                       .failed = options.failed,
                       .last = options.last};
  if (!options.image.empty()) {
    // Read as a write reads it: an image no write could have sent matches no record.
    const std::shared_ptr<const UpdateImage> image = ReadUpdateImage(options.image);
    if (image->chosen.refusal) {
      std::fprintf(stderr, "vannor-cli: %s\n", RefusalText(options.image, image->chosen).c_str());
      return EXIT_IMAGE_REFUSED;
    }
    filter.sha256 = image->chosen.sha256;
  }
  RecordSelection selection(std::move(filter));
  const HistoryRead read = ReadHistory(
      path, [&selection](const HistoryRecord& record) { selection.Offer(record); },
      [&signals] { return signals.Pending(0); });
  if (read.stopped) return EXIT_INTERRUPTED;
  std::size_t rows = 0;
  if (options.csv) std::fputs(HistoryCsvHeader().c_str(), out);
  std::string csv;
  for (const HistoryRecord& record : selection.Chosen()) {
    if (options.csv) {
      csv.clear();
      AppendHistoryCsvRow(csv, record);
      std::fwrite(csv.data(), 1, csv.size(), out);
    } else if (options.json) {
      std::fprintf(out, "%s\n", RecordJson(record).c_str());
    } else {
      PrintRow(record, out);
    }
    if (++rows % ROWS_PER_LOOK == 0 && (std::ferror(out) || signals.Pending(0))) break;
  }
  if (signals.Pending(0)) return EXIT_INTERRUPTED;
  // After the records, so that a script sees both what was read and what was not.
  std::fflush(out);
  const bool older = TellWhatWasNotRead(read.older);
  const bool newest = TellWhatWasNotRead(read.newest);
  return older && newest ? EXIT_SUCCESS_ALL : EXIT_HISTORY_UNREADABLE;
}

}  // namespace vannor::cli
