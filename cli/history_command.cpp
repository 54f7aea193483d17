#include "cli/history_command.h"

#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "history/history_csv.h"
#include "history/history_log.h"
#include "history/history_query.h"
#include "image/image_loader.h"
#include "protocol/link_state.h"

namespace vannor::cli {

namespace {

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

void PrintTable(const std::vector<HistoryRecord>& records, std::FILE* out) {
  for (const HistoryRecord& record : records) {
    // To the second: the milliseconds are in --json.
    const std::string time = record.time.substr(0, 19) + "Z";
    std::fprintf(out, "%-20s  %-6s  %-7s  %-19s  %s\n", time.c_str(), record.port.c_str(),
                 record.request.c_str(), record.outcome.c_str(), Details(record).c_str());
  }
}

}  // namespace

int ShowHistory(const Options& options, std::FILE* out) {
  const std::string path = ChosenHistoryPath(options.history ? options.history->c_str() : nullptr);
  if (path.empty()) {
    std::fprintf(stderr, "vannor-cli: no history is kept (--history - or VANNOR_HISTORY empty)\n");
    return EXIT_USAGE;
  }
  HistoryFilter filter{.ports = options.ports,
                       .since = options.since,
                       .sha256 = {},
                       .failed = options.failed,
                       .last = options.last};
  if (!options.image.empty()) {
    // Read as a write would read it: an image no write could have sent matches no record.
    std::vector<std::uint8_t> bytes(IMAGE_CAPACITY);
    const LoadResult image = LoadImage(options.image, bytes.data(), bytes.size());
    if (image.outcome != LoadOutcome::Loaded) {
      std::fprintf(stderr, "vannor-cli: %s: %s\n", options.image.c_str(),
                   image.outcome == LoadOutcome::SizeError ? "not 1 to 200000 bytes: no image"
                   : image.problem.empty()                 ? "cannot be read"
                                                           : image.problem.c_str());
      return EXIT_IMAGE_REFUSED;
    }
    filter.sha256 = HexDigest(image.sha256);
  }
  std::vector<HistoryRecord> records;
  std::string problem;
  if (!ReadHistory(path, records, problem)) {
    std::fprintf(stderr, "vannor-cli: history %s: %s\n", path.c_str(), problem.c_str());
    return EXIT_COMMUNICATION;
  }
  const std::vector<HistoryRecord> chosen = SelectRecords(records, filter);
  if (options.csv) {
    std::string csv = HistoryCsvHeader();
    for (const HistoryRecord& record : chosen) AppendHistoryCsvRow(csv, record);
    // As the table and the JSON: what the output does with it is the output's own.
    (void)std::fwrite(csv.data(), 1, csv.size(), out);
    return EXIT_SUCCESS_ALL;
  }
  if (!options.json) {
    PrintTable(chosen, out);
    return EXIT_SUCCESS_ALL;
  }
  for (const HistoryRecord& record : chosen) std::fprintf(out, "%s\n", RecordJson(record).c_str());
  return EXIT_SUCCESS_ALL;
}

}  // namespace vannor::cli
