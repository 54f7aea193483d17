// `vannor-cli history --csv` read back by Python's CSV reader: as many rows as `--json` has
// records, field for field equal, for a table of every kind of record, narrowed or not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history/history_log.h"
#include "testing/history_table.h"
#include "testing/program.h"
#include "testing/temp_dir.h"

namespace vannor {
namespace {

TEST(HistoryCsv, ReadsBackAsTheJsonRecordsWithEveryFilter) {
  testkit::TempDir folder;
  const std::string path = folder.Path() + "/history.jsonl";
  testkit::WriteHistory(path, RotatedHistoryPath(path), testkit::HistoryCases(), 4);
  const std::vector<std::vector<std::string>> narrowings = {
      {}, {"--failed"}, {"--port", "COM3"}, {"--since", "2026-12-08T09:05"}, {"-n", "2"}};
  for (const std::vector<std::string>& narrowing : narrowings) {
    std::string asked;
    for (const std::string& word : narrowing) asked += word + " ";
    SCOPED_TRACE(asked);
    std::vector<std::string> csv = {"history", "--history", path, "--csv"};
    csv.insert(csv.end(), narrowing.begin(), narrowing.end());
    std::vector<std::string> json = csv;
    json[3] = "--json";
    const testkit::ProgramResult asCsv = testkit::RunProgram(VANNOR_CLI_PROGRAM, csv);
    const testkit::ProgramResult asJson = testkit::RunProgram(VANNOR_CLI_PROGRAM, json);
    ASSERT_EQ(asCsv.exitCode, 0) << asCsv.err;
    ASSERT_EQ(asJson.exitCode, 0) << asJson.err;
    const std::string csvFile = folder.Path() + "/h.csv";
    const std::string jsonFile = folder.Path() + "/h.jsonl";
    folder.Write("h.csv", std::vector<std::uint8_t>(asCsv.out.begin(), asCsv.out.end()));
    folder.Write("h.jsonl", std::vector<std::uint8_t>(asJson.out.begin(), asJson.out.end()));
    const testkit::ProgramResult compared =
        testkit::RunProgram("/usr/bin/python3", {CSV_MATCHES_JSON, csvFile, jsonFile});
    EXPECT_EQ(compared.exitCode, 0) << compared.out << compared.err;
  }
  // A formula stays inert, and nothing says the record changed.
  const std::string all =
      testkit::RunProgram(VANNOR_CLI_PROGRAM, {"history", "--history", path, "--csv"}).out;
  EXPECT_NE(all.find(",\"'=HYPERLINK(\"\"evil.exe\"\",\"\"y\"\").out\","), std::string::npos);
  EXPECT_NE(all.find(",'+cmd|' /C calc'!A0,"), std::string::npos);
  EXPECT_EQ(testkit::RunProgram(VANNOR_CLI_PROGRAM, {"history", "--csv", "--json"}).exitCode, 2);
}

}  // namespace
}  // namespace vannor
