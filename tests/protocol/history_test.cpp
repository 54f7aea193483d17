// The history's parts below the link: the image's digest, the record's line, the file's path,
// append and rotation, and the choice of records `vannor-cli history` shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "history/history_append.h"
#include "history/history_file.h"
#include "history/history_log.h"
#include "history/history_query.h"
#include "history/history_reader.h"
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
      {"bad\xff\xc3", "\"bad\\udcff\\udcc3\""},                      // bytes that are not
  };
  for (const Row& row : rows) {
    std::string json;
    AppendJsonString(json, row.text);
    EXPECT_EQ(json, row.json);
  }
  // Read back: any character, and a byte that is not UTF-8 as that very byte.
  const Row back[] = {
      {"\xf0\x9f\x98\x80 \xc3\xa9", "\"\\ud83d\\ude00 \\u00e9\""},
      {"a\xff.out", "\"a\\udcff.out\""},
      {"\xef\xbf\xbd!", "\"\\ud83d!\""},  // half a pair: the replacement character
  };
  for (const Row& row : back) {
    std::vector<JsonField> fields;
    ASSERT_TRUE(ParseJsonObject("{\"k\":" + row.json + "}", fields)) << row.json;
    EXPECT_EQ(fields[0].text, row.text) << row.json;
  }
  // On a terminal: nothing that steers it, one line, and the same escapes.
  const Row shown[] = {
      {"ctl\x01\x1b[31mred\x07.out", "ctl\\u0001\\u001b[31mred\\u0007.out"},
      {"two\nlines \"q\" back\\slash", "two\\u000alines \"q\" back\\\\slash"},
      {"a\xff \xc2\x9b \xc3\xa9", "a\\udcff \\u009b \xc3\xa9"},
  };
  for (const Row& row : shown) EXPECT_EQ(TerminalText(row.text), row.json);
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
  std::string why;
  EXPECT_EQ(ChosenHistoryPath(nullptr), DefaultHistoryPath(why));
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

// What the reader makes of each kind of file: the records handed over, the lines counted as
// unreadable, and a file it cannot read told with its reason.
TEST(HistoryTest, TheReaderCountsWhatIsNoRecordAndNamesWhatItCannotRead) {
  const std::string record = RecordJson(UpdateRecord()) + "\n";
  struct Row {
    const char* what;
    std::string older, newest;  // "" : no such file
    std::size_t records, unreadable;
    bool failed;
  };
  const Row rows[] = {
      {"both files, a blank line", record + "\n", record + "  \n" + record, 3, 0, false},
      {"partial last line", "", record + record.substr(0, 40), 1, 1, false},
      {"line glued on, then whole", "", record.substr(0, 40) + "\n" + record, 1, 1, false},
      {"over-long line", "", std::string(HISTORY_LINE_LIMIT + 1, 'x') + "\n" + record, 1, 1, false},
      {"over-long without end", "", record + std::string(3 * HISTORY_LINE_LIMIT, 'x'), 1, 1, false},
      {"no history yet", "", "", 0, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    testkit::TempDir folder;
    const std::string path = folder.Path() + "/history.jsonl";
    auto put = [](const std::string& at, const std::string& text) {
      if (!text.empty()) std::ofstream(testkit::PathFromUtf8(at), std::ios::binary) << text;
    };
    put(RotatedHistoryPath(path), row.older);
    put(path, row.newest);
    std::size_t records = 0;
    const HistoryRead read = ReadHistory(path, [&](const HistoryRecord&) { ++records; });
    EXPECT_EQ(records, row.records);
    EXPECT_EQ(read.Unreadable(), row.unreadable);
    EXPECT_EQ(read.Failed(), row.failed);
    EXPECT_EQ(read.newest.missing, row.newest.empty());
  }
  testkit::TempDir folder;
  std::filesystem::create_directory(testkit::PathFromUtf8(folder.Path() + "/history.jsonl"));
  const HistoryRead read =
      ReadHistory(folder.Path() + "/history.jsonl", [](const HistoryRecord&) {});
  EXPECT_TRUE(read.Failed());
  EXPECT_FALSE(read.newest.failure.empty());
  EXPECT_TRUE(read.older.missing);
  // Asked to stop, it stops before reading on.
  std::ofstream(testkit::PathFromUtf8(folder.Path() + "/h.jsonl")) << record;
  EXPECT_TRUE(ReadHistory(folder.Path() + "/h.jsonl", {}, [] { return true; }).stopped);
}

// A writer holds the lock: another waits a bounded time, or less when its pause says so, and
// the line is told as not kept; a last line without its end does not swallow the next; a line
// the disk took only part of is cut back.
TEST(HistoryTest, AppendsWaitBoundedlyAndStartOnALineOfTheirOwn) {
  testkit::TempDir folder;
  const std::string path = folder.Path() + "/history.jsonl";
  std::ofstream(testkit::PathFromUtf8(path), std::ios::binary) << "{\"cut\":";
  std::string problem;
  ASSERT_TRUE(AppendHistoryLine(path, "two\n", problem)) << problem;
  {
    HistoryFile holder(path, HistoryFile::Use::Append);
    ASSERT_EQ(holder.TryLock(), HistoryFile::Lock::Held);
    int pauses = 0;
    EXPECT_FALSE(
        AppendHistoryLine(path, "lost\n", problem, [&pauses](int) { return ++pauses > 2; }));
    EXPECT_EQ(problem, "stopped while another program held the file locked");
    EXPECT_EQ(pauses, 3);
    EXPECT_FALSE(AppendHistoryLine(path, "lost\n", problem));
    EXPECT_EQ(problem, "another program held the file locked for more than 1500 ms");
    // The steps of the cut, under the lock held.
    const std::int64_t size = holder.Size();
    EXPECT_FALSE(holder.EndsLine(size - 1));
    EXPECT_TRUE(holder.EndsLine(size));
    EXPECT_EQ(holder.WriteAt("torn", 4, size), 4);
    EXPECT_TRUE(holder.CutTo(size));
    EXPECT_EQ(holder.Size(), size);
  }
  std::ifstream file(testkit::PathFromUtf8(path), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "{\"cut\":\ntwo\n");
}

// The window's log writes in a thread of its own; all its records are in the file once it ends.
TEST(HistoryTest, ABackgroundLogKeepsEveryRecordByItsEnd) {
  testkit::TempDir folder;
  const std::string path = folder.Path() + "/made/history.jsonl";
  {
    HistoryLog log(path, "vannor", "1", stderr, HistoryLog::Writer::Background);
    for (int i = 0; i < 20; ++i) log.Append(UpdateRecord());
  }
  std::size_t records = 0;
  const HistoryRead read = ReadHistory(path, [&](const HistoryRecord&) { ++records; });
  EXPECT_EQ(records, 20u);
  EXPECT_EQ(read.Unreadable(), 0u);
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
  for (const char* date : {"2026-12-08T14:00:05", "2024-02-29", "2026-12-31T23:59"}) {
    EXPECT_TRUE(ValidSince(date)) << date;
  }
  for (const char* date : {"08.12.2026", "2026-13-45", "2026-02-29", "2026-12-10T99:99",
                           "2026-12-10T24:00", "2026-12-10T12:00:60", "", "2026-12-1x"}) {
    EXPECT_FALSE(ValidSince(date)) << date;
  }
}

}  // namespace
}  // namespace vannor
