// The history's parts below the link: the image's digest, the record's line, the file's path,
// append and rotation, and the choice of records `vannor-cli history` shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "history/history_file.h"
#include "history/history_log.h"
#include "history/history_query.h"
#include "history/json_text.h"
#include "image/sha256.h"
#include "protocol/update_request.h"
#include "testing/scoped_env.h"
#include "testing/temp_dir.h"

namespace vannor {
namespace {

// `text` fed in pieces of the sizes in `pieces`, taken in turn.
std::string HashOf(const std::string& text, const std::vector<std::size_t>& pieces) {
  Sha256 hash;
  for (std::size_t at = 0, turn = 0; at < text.size(); at += pieces[turn++ % pieces.size()]) {
    const std::string part = text.substr(at, pieces[turn % pieces.size()]);
    hash.Update(reinterpret_cast<const std::uint8_t*>(part.data()), part.size());
  }
  return HexDigest(hash.Finish());
}

// "abc...zabc..." of `length` bytes.
std::string Letters(std::size_t length) {
  std::string text(length, 'a');
  for (std::size_t i = 0; i < length; ++i) text[i] += static_cast<char>(i % 26);
  return text;
}

// The lengths around a block's end (55 and 56: where the padding needs a second block) and the
// pieces that cross it at uneven places: a slip in the count of bytes fed fails one of them.
TEST(HistoryTest, Sha256MatchesTheStandardVectorsFedInAnyPieces) {
  struct Row {
    std::string text;
    const char* digest;
  };
  const Row rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {Letters(55), "595615dbe4f0f407ae397d08b4c2cb870cb9b0e11937416f950c5160acf9c005"},
      {Letters(56), "784f623b787495078e93ff28a25b581df0584055a7e71d8cd90c454716b92f51"},
      {Letters(63), "5ca3e1ef5207490eac01a795e5cc94d59582a5118bf9534665c8668d87aa647c"},
      {Letters(64), "2fcd5a0d60e4c941381fcc4e00a4bf8be422c3ddfafb93c809e8d1e2bfffae8e"},
      {Letters(65), "1b3cd1877ab2f2f19f7be001722554f336cb799df0329de0bb4c118dc6abc06d"},
      {Letters(119), "faef67da856d6fd9c8d12f9ed0a4fefd3cf0ce085ab43e2907418d457e3c354b"},
      {Letters(120), "c9512b08619c19fbb503c7da6b46ef20301e5f7a7a5f43989182398536f5c5c8"},
      {Letters(129), "cd6bba8374324cbcc0c296b94f35299c0b9820393116358ac3afaf091a4955a5"},
      {Letters(191), "4cdc042c98c6039f9cfdd0a825a147058188ca335a49c7a419471d9cbb9a2432"},
  };
  const std::vector<std::vector<std::size_t>> feeds = {
      {1}, {63}, {64}, {100}, {3, 61, 1, 70, 5}, {65, 2, 127}, {7, 64, 13}};
  for (const Row& row : rows) {
    for (const std::vector<std::size_t>& pieces : feeds) {
      if (row.text.size() > 100000 && pieces[0] < 63) continue;
      SCOPED_TRACE(std::to_string(row.text.size()) + " bytes in pieces of " +
                   std::to_string(pieces[0]) + (pieces.size() > 1 ? ", ..." : ""));
      EXPECT_EQ(HashOf(row.text, pieces), row.digest);
    }
  }
}

HistoryRecord UpdateRecord() {
  HistoryRecord r;
  r.time = "2026-12-08T18:55:08.123Z";
  r.program = "vannor-cli";
  r.version = "1.0.0.1";
  r.host = "bench-3";
  r.user = "tech";
  r.port = "COM3";
  r.device = "/dev/ttyUSB0";
  r.adapter = "ftdi_sio: FTDI FT232R USB UART, serial number A9XYZ";
  r.request = "update";
  r.image = "/images/dsp \"new\".out";
  r.size = 200000;
  r.sha256 = "ab12";
  r.mask = 15;
  r.dsps = "DSP1+Tavix3, DSP2+Tavix3";
  r.outcome = "communication-error";
  r.message = " Communication Error !!! ";
  r.cause = "wrong answer\twhile awaiting";
  r.confirmed = 2500;
  r.ms = 61234;
  return r;
}

// Every field of the record: its key, and its literal text in an update's line and in a version
// read's.
TEST(HistoryTest, RecordFieldsInTheirLine) {
  struct Row {
    const char* name;
    const char* inUpdate;
    const char* inVersion;
  };
  const Row rows[] = {
      {"time", "\"2026-12-08T18:55:08.123Z\"", "\"2026-12-08T18:55:08.123Z\""},
      {"program", "\"vannor-cli\"", "\"vannor-cli\""},
      {"version", "\"1.0.0.1\"", "\"1.0.0.1\""},
      {"host", "\"bench-3\"", "\"bench-3\""},
      {"user", "\"tech\"", "\"tech\""},
      {"port", "\"COM3\"", "\"COM3\""},
      {"device", "\"/dev/ttyUSB0\"", "\"/dev/ttyUSB0\""},
      {"adapter", "\"ftdi_sio: FTDI FT232R USB UART, serial number A9XYZ\"",
       "\"ftdi_sio: FTDI FT232R USB UART, serial number A9XYZ\""},
      {"request", "\"update\"", "\"version\""},
      {"image", "\"/images/dsp \\\"new\\\".out\"", "null"},
      {"size", "200000", "null"},
      {"sha256", "\"ab12\"", "null"},
      {"mask", "15", "null"},
      {"dsps", "\"DSP1+Tavix3, DSP2+Tavix3\"", "null"},
      {"outcome", "\"communication-error\"", "\"versions-read\""},
      {"message", "\" Communication Error !!! \"", "\"\""},
      {"cause", "\"wrong answer\\u0009while awaiting\"", "\"\""},
      {"ok", "false", "true"},
      {"confirmed", "2500", "null"},
      {"ms", "61234", "61234"},
      {"dsp1", "null", "\"V01.03\""},
      {"dsp2", "null", "\"V02.00\""},
  };
  const HistoryRecord update = UpdateRecord();
  HistoryRecord version = update;
  version.request = "version";
  version.outcome = "versions-read";
  version.message = version.cause = "";
  version.ok = true;
  version.dsp1 = "V01.03";
  version.dsp2 = "V02.00";
  std::string expectedUpdate = "{", expectedVersion = "{";
  for (const Row& row : rows) {
    const std::string key =
        std::string(expectedUpdate.size() > 1 ? "," : "") + "\"" + row.name + "\":";
    expectedUpdate += key + row.inUpdate;
    expectedVersion += key + row.inVersion;
  }
  EXPECT_EQ(RecordJson(update), expectedUpdate + "}");
  EXPECT_EQ(RecordJson(version), expectedVersion + "}");
  // Read back, each field is what was written.
  HistoryRecord back;
  ASSERT_TRUE(ParseRecord(RecordJson(update), back));
  EXPECT_EQ(RecordJson(back), RecordJson(update));
  ASSERT_TRUE(ParseRecord(RecordJson(version), back));
  EXPECT_EQ(RecordJson(back), RecordJson(version));
  EXPECT_EQ(DspNames(0x0F), "DSP1+Tavix3, DSP2+Tavix3");
  EXPECT_EQ(DspNames(0x09), "DSP1, (Tavix3 DSP2)");
}

TEST(HistoryTest, EveryStringStaysJsonAndTornLinesAreNoRecords) {
  struct Row {
    std::string text;
    std::string json;
  };
  const Row rows[] = {
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"line\nend\x7f", "\"line\\u000aend\\u007f\""},
      {"caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},  // UTF-8 kept
      {"bad\xff\xc3", "\"bad\\u00ff\\u00c3\""},                      // bytes that are not
  };
  for (const Row& row : rows) {
    std::string json;
    AppendJsonString(json, row.text);
    EXPECT_EQ(json, row.json);
  }
  const std::string line = RecordJson(UpdateRecord());
  HistoryRecord record;
  EXPECT_FALSE(ParseRecord(line.substr(0, line.size() / 2), record));
  EXPECT_FALSE(ParseRecord(line + line, record));
  EXPECT_FALSE(ParseRecord("{\"time\":\"x\"}", record));
}

TEST(HistoryTest, ThePathChosenAndTheOlderFileBesideIt) {
  const testkit::ScopedEnv none{"VANNOR_HISTORY", nullptr};
  EXPECT_EQ(ChosenHistoryPath("-"), "");
  EXPECT_EQ(ChosenHistoryPath("/bench/history.jsonl"), "/bench/history.jsonl");
  EXPECT_EQ(ChosenHistoryPath(nullptr), DefaultHistoryPath());
  const testkit::ScopedEnv shared{"VANNOR_HISTORY", "/bench/all.jsonl"};
  EXPECT_EQ(ChosenHistoryPath(nullptr), "/bench/all.jsonl");
  EXPECT_EQ(ChosenHistoryPath("-"), "");
  EXPECT_EQ(RotatedHistoryPath("/a/history.jsonl"), "/a/history.1.jsonl");
  EXPECT_EQ(RotatedHistoryPath("/a.b/history"), "/a.b/history.1");
}

TEST(HistoryTest, AppendsWholeLinesAndMovesABigFileAside) {
  testkit::TempDir folder;
  const std::string path = folder.Path() + "/made/history.jsonl";
  std::string problem;
  ASSERT_TRUE(AppendHistoryLine(path, "one\n", problem)) << problem;
  ASSERT_TRUE(AppendHistoryLine(path, "two\n", problem)) << problem;
  std::filesystem::resize_file(testkit::PathFromUtf8(path), HISTORY_ROTATE_BYTES);
  ASSERT_TRUE(AppendHistoryLine(path, "three\n", problem)) << problem;
  std::ifstream current(testkit::PathFromUtf8(path));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(current), {}), "three\n");
  EXPECT_EQ(std::filesystem::file_size(testkit::PathFromUtf8(RotatedHistoryPath(path))),
            static_cast<std::uintmax_t>(HISTORY_ROTATE_BYTES));
}

TEST(HistoryTest, TheRecordsEachFilterChooses) {
  std::vector<HistoryRecord> records(4, UpdateRecord());
  const char* times[] = {"2026-12-07T23:59:59.999Z", "2026-12-08T00:00:00.000Z",
                         "2026-12-08T14:00:00.000Z", "2026-12-09T08:00:00.000Z"};
  for (std::size_t i = 0; i < records.size(); ++i) {
    records[i].time = times[i];
    records[i].port = i % 2 == 0 ? "COM1" : "COM2";
    records[i].ok = i != 2;
    records[i].sha256 = i == 3 ? "ff" : "ab12";
  }
  struct Row {
    void (*choose)(HistoryFilter&);
    std::vector<std::size_t> chosen;
  };
  const Row rows[] = {
      {[](HistoryFilter&) {}, {0, 1, 2, 3}},
      {[](HistoryFilter& f) { f.ports = {"COM2"}; }, {1, 3}},
      {[](HistoryFilter& f) { f.since = "2026-12-08"; }, {1, 2, 3}},
      {[](HistoryFilter& f) { f.since = "2026-12-08T14:00"; }, {2, 3}},
      {[](HistoryFilter& f) { f.sha256 = "ab12"; }, {0, 1, 2}},
      {[](HistoryFilter& f) { f.failed = true; }, {2}},
      {[](HistoryFilter& f) { f.last = 2; }, {2, 3}},
      {[](HistoryFilter& f) { f.ports = {"COM1"}, f.last = 1; }, {2}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> chosen, expected;
    HistoryFilter filter;
    row.choose(filter);
    for (const HistoryRecord& r : SelectRecords(records, filter)) chosen.push_back(r.time);
    for (std::size_t i : row.chosen) expected.push_back(times[i]);
    EXPECT_EQ(chosen, expected);
  }
  EXPECT_TRUE(ValidSince("2026-12-08T14:00:05"));
  EXPECT_FALSE(ValidSince("08.12.2026"));
}

}  // namespace
}  // namespace vannor
