// vannor-cli as a script runs it: against radio simulators on pseudo-terminals reached through
// COMn links in a config folder of the test's own, checking exit codes, what it says, and what
// each radio received.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "history/history_record.h"
#include "testing/images.h"
#include "testing/program.h"
#include "testing/scoped_env.h"
#include "testing/temp_dir.h"
#include "tools/radio_sim.h"

namespace vannor::cli {
namespace {

using namespace std::chrono_literals;
using testkit::Bytes;
using testkit::ProgramResult;

// What sha256sum says of the file at `path`: its 64 hexadecimal digits.
std::string Sha256Sum(const std::string& path) {
  return testkit::RunProgram("/usr/bin/sha256sum", {path}).out.substr(0, 64);
}

// Whether python3's own JSON reader takes every line of `lines` (the output's, or a file's).
bool JsonToolTakes(const std::string& lines) {
  testkit::TempDir folder;
  const std::string path = folder.Write("lines.jsonl", Bytes(lines.begin(), lines.end()));
  return !lines.empty() &&
         testkit::RunProgram("/usr/bin/python3", {"-m", "json.tool", "--json-lines", path})
                 .exitCode == 0;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CliTest : public ::testing::Test {
 protected:
  sim::RadioSimulator& StartRadio(int com, const sim::RadioConfig& config = {}) {
    radios.push_back(std::make_unique<sim::RadioSimulator>());
    EXPECT_TRUE(radios.back()->Start(config));
    EXPECT_TRUE(radios.back()->MapPort(home.Path(), com));
    return *radios.back();
  }
  ProgramResult Cli(std::vector<std::string> arguments) {
    return testkit::RunProgram(VANNOR_CLI_PROGRAM, std::move(arguments));
  }
  std::string Image(const Bytes& bytes, const std::string& name = "dsp.out") {
    return home.Write(name, bytes);
  }
  std::vector<HistoryRecord> Records() {
    std::ifstream file(historyPath);
    std::vector<HistoryRecord> records;
    for (std::string line; std::getline(file, line);) {
      HistoryRecord record;
      EXPECT_TRUE(ParseRecord(line, record)) << line;
      records.push_back(record);
    }
    return records;
  }
  // A config home where a file stands where the folder of the port links belongs.
  std::string LinksHiddenHome() {
    std::ofstream(hidden.Path() + "/vannor") << "not a folder";
    return hidden.Path();
  }

  testkit::TempDir home;
  testkit::ScopedEnv configHome{"XDG_CONFIG_HOME", home.Path().c_str()};
  testkit::ScopedEnv noTrace{"VANNOR_DEBUG", nullptr};
  const std::string historyPath = home.Path() + "/history/history.jsonl";
  testkit::ScopedEnv history{"VANNOR_HISTORY", historyPath.c_str()};
  std::vector<std::unique_ptr<sim::RadioSimulator>> radios;
  testkit::TempDir hidden;
};

TEST_F(CliTest, WritesEveryByteValueWithTheMaskOfTheOptions) {
  struct Case {
    std::size_t length;
    std::vector<std::string> boxes;
    std::uint8_t mask;
  };
  for (const Case& c : {Case{1, {"--dsp1", "--tavix3-dsp1", "--dsp2", "--tavix3-dsp2"}, 0x0F},
                        Case{200000, {"--dsp2", "--tavix3-dsp2"}, 0x0C}}) {
    SCOPED_TRACE(c.length);
    sim::RadioConfig config;
    config.expectedLength = static_cast<std::uint32_t>(c.length);
    sim::RadioSimulator& radio = StartRadio(3, config);
    const Bytes image = testkit::MakeImage(c.length);
    const std::string imagePath = Image(image);
    std::vector<std::string> arguments = {"write", "--port", "COM3", imagePath};
    arguments.insert(arguments.end(), c.boxes.begin(), c.boxes.end());
    const ProgramResult result = Cli(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string bytes = std::to_string(c.length) + (c.length == 1 ? " byte" : " bytes");
    EXPECT_EQ(result.out, "COM3: written (" + bytes + ")\n");
    EXPECT_NE(result.err.find("COM3: writing " + bytes + ", sha256 " + Sha256Sum(imagePath) + "\n"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("COM3: 100% (" + std::to_string(c.length) + " of " + bytes + ")"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(radio.Record().mask, c.mask);
    EXPECT_TRUE(radio.Image() == image);
    EXPECT_EQ(radio.Record().protocolErrors + radio.Record().strayBytes, 0u);
    radios.clear();
  }
}

TEST_F(CliTest, VersionByNameOrDeviceAndTraced) {
  sim::RadioConfig config;
  config.version[0] = 100;
  config.version[1] = 255;
  sim::RadioSimulator& radio = StartRadio(1, config);
  ProgramResult result = Cli({"version", "--port", "COM1"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "DSP1 V100.255  DSP2 V02.00\n");
  result = Cli({"version", "-v", "--port=" + radio.SlavePath()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find(": request 0x56\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(": exchange complete\n"), std::string::npos) << result.err;
  // VANNOR_DEBUG turns the trace on unless it says off.
  for (const char* value : {"false", "OFF", "no", "0", "yes"}) {
    testkit::ScopedEnv debug("VANNOR_DEBUG", value);
    result = Cli({"version", "--port", "COM1"});
    EXPECT_EQ(result.err.find(": request 0x56\n") != std::string::npos,
              std::string_view(value) == "yes")
        << value;
  }
  EXPECT_EQ(radio.Record().versionRequests, 7u);
}

// Each refusal and fault with its exit code and what the user is told; nothing reaches the radio
// for a refused command.
TEST_F(CliTest, RefusalsAndFaultsHaveTheirExitCodes) {
  const std::string good = Image({1, 2, 3});
  const std::string empty = Image({}, "empty.out");
  std::filesystem::create_directory(home.Path() + "/dir.out");
  sim::RadioSimulator& radio = StartRadio(1);
  const std::string device = radio.SlavePath();
  const std::string ports = home.Path() + "/vannor/ports";
  // A file where the ports folder belongs may hide the link of COM2: no other device stands in.
  const std::string hiddenHome = LinksHiddenHome();
  const std::string growing = Image({1, 2, 3}, "growing.out");
  std::ofstream writer(growing, std::ios::binary | std::ios::app);  // another program writes it
  struct Row {
    std::vector<std::string> arguments;
    int exitCode;
    std::string said;
    std::string configHome = {};  // the test's own when empty
  };
  const std::vector<Row> refused = {
      {{"write", "--port", "COM1", good}, 2, "DSP Select Error"},
      {{"write", "--port", "COM1", "--dsp1", Image({1}, "dsp.bin")}, 3, "File Error"},
      {{"write", "--port", "COM1", "--dsp1", home.Path() + "/missing.out"}, 3, "File Open Error"},
      {{"write", "--port", "COM1", "--dsp1", home.Path() + "/dir.out"}, 3, "File Open Error"},
      {{"write", "--port", "COM1", "--dsp1", empty}, 3, "File Size Error"},
      {{"write", "--port", "COM1", "--dsp1", growing},
       3,
       "File Open Error: the image is still being written"},
      {{"write", "--port", "COM5", "--dsp1", good},
       4,
       "COM5 (" + ports + "/COM5 -> " + home.Path() + "/unplugged): No such file or directory"},
      {{"version", "--port", "COM2"},
       4,
       "COM2 (" + hiddenHome + "/vannor/ports): Not a directory",
       hiddenHome},
      // The image is checked before any port opens: a bad one never reaches a port.
      {{"write", "--port", "COM5", "--dsp1", empty}, 3, "File Size Error"},
      {{"write", "--port", "COM1", "--dsp1", home.Path() + "/dir.out"}, 3, "not a regular file"},
      {{"version", "--port", "/dev/null"}, 4, "not a serial line"},
      {{"version", "--port", "/dev/ptmx"}, 4, "pseudo-terminal master"},
      {{"write", "--dsp1", good}, 2, "--port is required"},
      {{"write", "--port", "COM1", "--port", "COM1", "--dsp1", good}, 2, "given twice"},
      // One radio under two names: a link and its device, or two spellings of one path.
      {{"write", "--port", "COM1", "--port", device, "--dsp1", good},
       2,
       "ports COM1 and " + device + " are the same device"},
      {{"write", "--port", device, "-p", "COM3", "-p", "/dev/./" + device.substr(5), "--dsp1",
        good},
       2,
       "ports " + device + " and /dev/./" + device.substr(5) + " are the same device"},
      {{"version", "--port", "COM1", "--dsp1"}, 2, "write only"},
      {{"flash", "--port", "COM1"}, 2, "unknown command"},
      {{"version", "--port", "COM1", "--speed", "9600"}, 2, "unknown option"},
      {{"ports", "--json"}, 2, "--json does not apply"},
      {{"write", "--port", "COM1", "--failed", good}, 2, "apply to history only"},
      {{"history", "--since", "08.12.2026"}, 2, "--since needs a real date, one of 2026-12-08, "},
      {{"history", "--since", "2026-13-45"}, 2, "2026-12-08T14:00 or 2026-12-08T14:00:05 (UTC)"},
      {{"history", "--since="}, 2, "--since needs a real date"},
      {{"history", "-n", "0"}, 2, "-n needs a count"},
      {{"history", "--history", "-"}, 2, "no history is kept"},
      {{"history", "--image", empty}, 3, "empty.out: File Size Error: the image must hold 1 to"},
      {{}, 2, "no command"},
  };
  std::filesystem::create_symlink(home.Path() + "/unplugged", ports + "/COM5");
  for (const Row& row : refused) {
    SCOPED_TRACE(row.said);
    testkit::ScopedEnv rowHome("XDG_CONFIG_HOME",
                               (row.configHome.empty() ? home.Path() : row.configHome).c_str());
    const ProgramResult result = Cli(row.arguments);
    EXPECT_EQ(result.exitCode, row.exitCode);
    EXPECT_NE(result.err.find(row.said), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("(/dev/ttyS"), std::string::npos) << result.err;  // no stand-in
  }
  EXPECT_EQ(radio.Record().bytesReceived, 0u);

  sim::RadioConfig nak;
  nak.firstAck.reply = sim::RADIO_NAK;
  sim::RadioConfig wrongEcho;
  wrongEcho.wrongEchoAt = 1;
  // Echoes twice: each echo's double comes before the next image byte is written.
  sim::RadioConfig echoTwice;
  echoTwice.echoTwiceFrom = 1;
  echoTwice.expectedLength = 3;  // a radio that goes on echoing knows when the image is over
  // What follows the last echo in its burst belongs to no exchange: the image is confirmed.
  sim::RadioConfig lastTwice;
  lastTwice.echoTwiceFrom = 2;
  lastTwice.expectedLength = 3;
  sim::RadioConfig byteAfterLast;
  byteAfterLast.expectedLength = 3;
  byteAfterLast.afterLastEcho = 0xEE;
  // Last: the radio's line is gone after it.
  sim::RadioConfig hangUp;
  hangUp.hangUpAt = 1;
  const std::string error = "COM1: Communication Error: ";
  const std::vector<std::pair<sim::RadioConfig, std::string>> faults = {
      {nak, error + "wrong answer while awaiting the ACK of the write request: got 0x15"},
      {wrongEcho,
       error + "wrong answer while awaiting the echo of an image byte (byte 2 of 3, 0x02)"},
      {echoTwice, error +
                      "a byte came before its image byte was sent while awaiting the echo of an "
                      "image byte (byte 3 of 3, 0x03): got 0x02"},
      {lastTwice, {}},
      {byteAfterLast, {}},
      {hangUp, "): the port went away; was the adapter unplugged?"}};
  for (const auto& [config, said] : faults) {
    SCOPED_TRACE(said);
    radio.Reconfigure(config);
    const ProgramResult result = Cli({"write", "--port", "COM1", "--dsp1", good});
    const bool fault = !said.empty();
    EXPECT_EQ(result.exitCode, fault ? 1 : 0);
    EXPECT_EQ(result.err.find(fault ? said : error) != std::string::npos, fault) << result.err;
  }
}

TEST_F(CliTest, FourRadiosAtOnceAndAFaultOnOneLeavesTheOthers) {
  const Bytes image = testkit::MakeImage(5000);
  sim::RadioConfig config;
  config.expectedLength = 5000;
  sim::RadioConfig faulty = config;
  faulty.wrongEchoAt = 2500;
  for (int com = 1; com <= 4; ++com) StartRadio(com, com == 3 ? faulty : config);
  const ProgramResult result = Cli(
      {"write", "-p", "COM1", "-p", "COM2", "-p", "COM3", "-p", "COM4", "--dsp1", Image(image)});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.out.find("COM1: written (5000 bytes)\nCOM2: written (5000 bytes)\n"
                            "COM4: written (5000 bytes)\n3 of 4 radios written\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.err.find("COM3: Communication Error: wrong answer while awaiting the echo of "
                            "an image byte (byte 2501 of 5000"),
            std::string::npos)
      << result.err;
  for (int com : {1, 2, 4}) {
    SCOPED_TRACE(com);
    EXPECT_TRUE(radios[static_cast<std::size_t>(com - 1)]->Image() == image);
    EXPECT_EQ(radios[static_cast<std::size_t>(com - 1)]->Record().mask, 0x01);
  }
}

// Every signal that would end the program mid-write ends it through the stop sequence: the port
// is free and as it was, and the user is told whether the DSP was left unfinished: so it is from
// the moment the write request went out, not only once image bytes flow.
TEST_F(CliTest, EverySignalThatEndsAWriteClosesThePortCleanly) {
  enum class Stage { Sending, AwaitingTheFirstAck, AwaitingTheSecondAck };
  struct Row {
    int signal;
    Stage stage;
    const char* said;
  };
  for (const Row& row :
       {Row{SIGINT, Stage::Sending, "COM2: interrupted; the DSP is left unfinished"},
        Row{SIGQUIT, Stage::Sending, "the DSP is left unfinished"},
        Row{SIGTERM, Stage::Sending, "the DSP is left unfinished"},
        Row{SIGHUP, Stage::Sending, "the DSP is left unfinished"},
        Row{SIGUSR1, Stage::Sending, "the DSP is left unfinished"},
        Row{SIGUSR2, Stage::Sending, "the DSP is left unfinished"},
        Row{SIGALRM, Stage::Sending, "the DSP is left unfinished"},
        Row{SIGINT, Stage::AwaitingTheFirstAck, "COM2: interrupted; the DSP is left unfinished"},
        Row{SIGINT, Stage::AwaitingTheSecondAck,
            "COM2: interrupted; the DSP is left unfinished"}}) {
    SCOPED_TRACE(row.said + std::to_string(row.signal) + " at stage " +
                 std::to_string(static_cast<int>(row.stage)));
    sim::RadioConfig paced;
    paced.pace38400 = true;
    if (row.stage == Stage::AwaitingTheFirstAck) paced.firstAck.reply = sim::NO_REPLY;
    if (row.stage == Stage::AwaitingTheSecondAck) paced.secondAck.reply = sim::NO_REPLY;
    radios.clear();
    sim::RadioSimulator& radio = StartRadio(2, paced);
    termios before{};
    {
      const int slave = open(radio.SlavePath().c_str(), O_RDWR | O_NOCTTY);
      ASSERT_GE(slave, 0);
      tcgetattr(slave, &before);
      close(slave);
    }
    testkit::Program run(
        {VANNOR_CLI_PROGRAM, "write", "--port", "COM2", "--dsp2", Image(testkit::MakeImage(20000))},
        STDERR_FILENO);
    switch (row.stage) {
      case Stage::Sending:
        ASSERT_TRUE(radio.WaitBytesReceived(100, 20s));
        break;
      case Stage::AwaitingTheFirstAck:
        ASSERT_TRUE(radio.WaitBytesReceived(2, 20s));  // 0x57 and the mask
        break;
      case Stage::AwaitingTheSecondAck:
        ASSERT_TRUE(radio.WaitBytesReceived(3, 20s));  // and the enquiry
        break;
    }
    run.Signal(row.signal);
    EXPECT_EQ(run.Wait(), 130);
    const std::string said = run.Rest();
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
    const int slave = open(radio.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);
    EXPECT_EQ(flock(slave, LOCK_EX | LOCK_NB), 0);
    termios after{};
    tcgetattr(slave, &after);
    close(slave);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
  }
}

// Closed and full standard streams, and a radio that talks before it is asked.
TEST_F(CliTest, HostileStreamsNeitherReachTheRadioNorPassForSuccess) {
  sim::RadioConfig config;
  config.expectedLength = 500;
  const std::uint8_t noise[] = {0x42, 0x43, 0x44, 0x45, 0x46};
  std::copy(std::begin(noise), std::end(noise), config.powerUp);
  config.powerUpLength = sizeof noise;
  sim::RadioSimulator& radio = StartRadio(1, config);
  // Whatever waited on the line before the request is not the answer.
  ProgramResult result = Cli({"version", "--port", "COM1"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "DSP1 V01.03  DSP2 V02.00\n");
  // With standard error closed the port must not take its place: no progress text in the image.
  // Standard error lost (closed, or full) leaves a written radio written: the result is on
  // standard output.
  const Bytes image = testkit::MakeImage(500);
  const std::string path = Image(image);
  for (const testkit::ProgramSetup& lostErrors :
       {testkit::ProgramSetup{.closeStderr = true, .stdoutPath = {}},
        testkit::ProgramSetup{.closeStderr = false, .stdoutPath = {}, .stderrPath = "/dev/full"}}) {
    result = testkit::RunProgram(VANNOR_CLI_PROGRAM, {"write", "--port", "COM1", "--dsp1", path},
                                 lostErrors);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "COM1: written (500 bytes)\n");
    EXPECT_TRUE(radio.Image() == image);
  }
  // A result that cannot be written is a failure, for every command.
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"version", "--port", "COM1"}, {"ports"}, {"--help"}}) {
    SCOPED_TRACE(arguments[0]);
    result = testkit::RunProgram(VANNOR_CLI_PROGRAM, arguments,
                                 {.closeStderr = false, .stdoutPath = "/dev/full"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot write the output"), std::string::npos) << result.err;
  }
}

// Echoes that come back slowly (16 ms, as behind a USB adapter at its default timer) are told
// once, as measured; on a pseudo-terminal nothing holds them back that the user could change, so
// no remedy is named. A fast line says nothing of it.
// The figure over a slow radio's echoes is told once; a fast radio's never (a timing test: a
// loaded machine's wake-ups alone can make fast echoes look slow).
class EchoNoteTest : public CliTest, public testing::WithParamInterface<std::uint32_t> {};

TEST_P(EchoNoteTest, SlowEchoesAreToldAsMeasured) {
  sim::RadioConfig config;
  config.expectedLength = 50;
  config.replyDelayUs = GetParam();
  StartRadio(1, config);
  const ProgramResult result =
      Cli({"write", "--port", "COM1", "--dsp1", Image(testkit::MakeImage(50))});
  EXPECT_EQ(result.exitCode, 0);
  const std::size_t told = result.err.find("COM1: each byte takes ");
  if (GetParam() == 0) {
    EXPECT_EQ(told, std::string::npos) << result.err;
    return;
  }
  ASSERT_NE(told, std::string::npos) << result.err;
  EXPECT_NE(result.err.find("needs 0.5 ms; this image will take about ", told), std::string::npos)
      << result.err;
  EXPECT_EQ(result.err.find("latency_timer"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("each byte takes", told + 20), std::string::npos);  // once
}

INSTANTIATE_TEST_SUITE_P(Slow, EchoNoteTest, testing::Values(16000u));
INSTANTIATE_TEST_SUITE_P(Fast, EchoNoteTest, testing::Values(0u));

// Four radios at once, one failing: four whole records with the image's digest as sha256sum
// tells it, in a history only its user may read; --json prints the same on standard output.
TEST_F(CliTest, EveryRadioOfAWriteLeavesItsRecord) {
  const Bytes image = testkit::MakeImage(3000);
  sim::RadioConfig config;
  config.expectedLength = 3000;
  sim::RadioConfig faulty = config;
  faulty.wrongEchoAt = 1500;
  for (int com = 1; com <= 4; ++com) StartRadio(com, com == 3 ? faulty : config);
  const std::string imagePath = Image(image);
  const ProgramResult result = Cli({"write", "-p", "COM1", "-p", "COM2", "-p", "COM3", "-p", "COM4",
                                    "--dsp1", "--json", imagePath});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(JsonToolTakes(result.out)) << result.out;
  EXPECT_EQ(Lines(result.out).size(), 4u) << result.out;
  const std::vector<HistoryRecord> records = Records();
  ASSERT_EQ(records.size(), 4u);
  const std::string sha = Sha256Sum(imagePath);
  std::vector<std::string> ports;
  for (const HistoryRecord& r : records) {
    SCOPED_TRACE(r.port);
    ports.push_back(r.port);
    // The file has them as they ended; standard output in the order of the ports.
    const std::vector<std::string> printed = Lines(result.out);
    EXPECT_NE(std::find(printed.begin(), printed.end(), RecordJson(r)), printed.end());
    EXPECT_EQ(r.sha256, sha);
    EXPECT_EQ(r.image, imagePath);
    EXPECT_EQ(r.request, "update");
    EXPECT_EQ(r.program, "vannor-cli");
    EXPECT_EQ(r.size, 3000u);
    EXPECT_EQ(r.mask, 1u);
    const bool failing = r.port == "COM3";
    EXPECT_EQ(r.outcome, failing ? "communication-error" : "completed");
    EXPECT_EQ(r.message, failing ? " Communication Error !!! " : " Completion !!! ");
    EXPECT_EQ(r.confirmed, failing ? 1500u : 3000u);
  }
  std::sort(ports.begin(), ports.end());
  EXPECT_EQ(ports, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
  namespace fs = std::filesystem;
  EXPECT_EQ(fs::status(historyPath).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(fs::path(historyPath).parent_path()).permissions(), fs::perms::owner_all);

  ProgramResult shown = Cli({"history", "--failed"});
  EXPECT_EQ(shown.exitCode, 0) << shown.err;
  ASSERT_EQ(Lines(shown.out).size(), 1u) << shown.out;
  EXPECT_NE(shown.out.find("  COM3    update   communication-error  DSP1  1500/3000  " +
                           sha.substr(0, 12) + "  " + imagePath + "  (wrong answer"),
            std::string::npos)
      << shown.out;
  shown = Cli({"history", "--image", imagePath, "--port", "COM4", "--json"});
  EXPECT_EQ(Lines(shown.out), std::vector<std::string>{Lines(result.out)[3]});
  EXPECT_NE(Lines(result.out)[3].find("\"port\":\"COM4\""), std::string::npos);
  EXPECT_EQ(Lines(Cli({"history", "-n", "2", "--since", "2000-01-01"}).out).size(), 2u);
}

// Success, failure and refusal: standard output holds only JSON, one object per radio, with the
// exit codes of the plain run.
TEST_F(CliTest, JsonForEveryEnd) {
  // A failed write's JSON is EveryRadioOfAWriteLeavesItsRecord's.
  StartRadio(1);
  const std::string image = Image(testkit::MakeImage(10));
  struct Row {
    std::vector<std::string> arguments;
    int exitCode;
    std::size_t objects;
    const char* outcome;
  };
  const Row rows[] = {
      {{"version", "--json", "--port", "COM1"}, 0, 1, "\"outcome\":\"versions-read\""},
      {{"write", "--json", "-p", "COM1", "-p", "COM2", "--dsp1", "missing.out"},
       3,
       2,
       "\"outcome\":\"image-refused\""},
      {{"write", "--json", "-p", "COM1", image}, 2, 1, "\"outcome\":\"dsp-not-selected\""},
      {{"write", "--json", "-p", "/dev/vannor-none", "--dsp2", image},
       4,
       1,
       "\"outcome\":\"port-not-usable\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments[0] + " " + row.outcome);
    const ProgramResult result = Cli(row.arguments);
    EXPECT_EQ(result.exitCode, row.exitCode) << result.err;
    EXPECT_TRUE(JsonToolTakes(result.out)) << result.out;
    EXPECT_EQ(Lines(result.out).size(), row.objects) << result.out;
    EXPECT_NE(result.out.find(row.outcome), std::string::npos) << result.out;
  }
  EXPECT_EQ(Records().size(), 5u);
  EXPECT_TRUE(JsonToolTakes(Cli({"history", "--json"}).out));
}

// A history that cannot be written costs the run one line on standard error, never its result.
TEST_F(CliTest, AnUnwritableHistoryIsToldOnceAndTheWriteGoesOn) {
  for (int com = 1; com <= 2; ++com) StartRadio(com);
  // A file where the history's folder should be (root may write into any read-only folder).
  std::ofstream(home.Path() + "/blocked") << "x";
  const std::string blocked = home.Path() + "/blocked/history.jsonl";
  const ProgramResult result = Cli({"write", "--history", blocked, "-p", "COM1", "-p", "COM2",
                                    "--dsp1", Image(testkit::MakeImage(100))});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("2 of 2 radios written"), std::string::npos) << result.out;
  const std::string told = "vannor-cli: cannot record the history in " + blocked + ": ";
  EXPECT_NE(result.err.find(told), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find(told), result.err.rfind(told)) << result.err;
  EXPECT_EQ(Cli({"write", "--history", "-", "-p", "COM1", "--dsp1", "none.out"}).exitCode, 3);
  EXPECT_TRUE(Records().empty());
}

// Ctrl-C while the radio has fallen silent at byte 1013 of 2000: the record holds every echo
// confirmed, not the last percent step.
TEST_F(CliTest, AStoppedWriteRecordsTheExactBytesConfirmed) {
  sim::RadioConfig config;
  config.expectedLength = 2000;
  config.silentFrom = 1013;
  sim::RadioSimulator& radio = StartRadio(1, config);
  testkit::Program run(
      {VANNOR_CLI_PROGRAM, "write", "--port", "COM1", "--dsp1", Image(testkit::MakeImage(2000))},
      STDERR_FILENO);
  ASSERT_TRUE(radio.WaitBytesReceived(1013, 20s));
  std::this_thread::sleep_for(300ms);  // the last echoes reach the program; no more come
  run.Signal(SIGINT);
  EXPECT_EQ(run.Wait(), 130);
  const std::vector<HistoryRecord> records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].outcome, "stopped");
  EXPECT_EQ(records[0].confirmed, 1013u);
}

// Users made for one test and removed after it, in a group of their own: root only.
class ThrowAwayUsers {
 public:
  ThrowAwayUsers() {
    const std::string tag = std::to_string(getpid());
    group_ = "vtg" + tag;
    if (Run({"/usr/sbin/groupadd", group_}) != 0) return;
    for (const char* name : {"vta", "vtb"}) {
      const std::string user = name + tag;
      if (Run({"/usr/sbin/useradd", "-M", "-N", "-G", group_, user}) != 0) return;
      users_.push_back(user);
    }
  }
  ~ThrowAwayUsers() {
    for (const std::string& user : users_) (void)Run({"/usr/sbin/userdel", user});
    (void)Run({"/usr/sbin/groupdel", group_});
  }
  bool Made() const { return users_.size() == 2; }
  const std::string& User(int i) const { return users_[static_cast<std::size_t>(i)]; }
  uid_t Uid(int i) const { return getpwnam(User(i).c_str())->pw_uid; }
  gid_t Group() const { return getgrnam(group_.c_str())->gr_gid; }
  // vannor-cli as user `i`.
  ProgramResult Cli(int i, std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), {"-u", User(i), "--", VANNOR_CLI_PROGRAM});
    return testkit::RunProgram("/usr/sbin/runuser", std::move(arguments));
  }

 private:
  static int Run(std::vector<std::string> arguments) {
    const std::string program = arguments[0];
    arguments.erase(arguments.begin());
    return testkit::RunProgram(program, std::move(arguments)).exitCode;
  }
  std::string group_;
  std::vector<std::string> users_;
};

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Every file a user can point --history at that could hold, redirect or fool the program: the
// write goes on with a one-line note, `history` says why it could not read, and the record is
// kept exactly where it should be. Root runs the rows about unreadable files as a throw-away
// user, for whom the modes hold.
TEST_F(CliTest, HostileHistoryFilesNeitherHoldNorFoolTheProgram) {
  StartRadio(1);
  const std::string record = RecordJson([] {
                               HistoryRecord r;
                               r.time = "2026-12-08T18:55:08.123Z";
                               r.request = "version";
                               r.port = "COM9";
                               return r;
                             }()) +
                             "\n";
  struct Row {
    const char* what;
    std::function<void(const std::string& path)> plant;
    const char* versionNote;  // nullptr: the row reads only
    int historyExit;
    const char* historySaid;  // on standard error
    std::size_t recordsShown;
    bool asUser = false;
  };
  const std::string older = "/history.1.jsonl";
  int held = -1;
  const Row rows[] = {
      {"FIFO", [](const std::string& p) { mkfifo(p.c_str(), 0600); }, "not a regular file", 1,
       "history.jsonl: not a regular file", 0},
      {"held lock",
       [&](const std::string& p) {
         std::ofstream(p) << record;
         held = open(p.c_str(), O_RDWR | O_CLOEXEC);
         flock(held, LOCK_EX);
       },
       "another program held the file locked for more than 1500 ms", 0, "", 1},
      {"link",
       [](const std::string& p) {
         std::ofstream(p + ".other").flush();
         std::filesystem::create_symlink(p + ".other", p);
       },
       "a symbolic link, which is not followed", 1, "a symbolic link", 0},
      {"folder", [](const std::string& p) { std::filesystem::create_directory(p); },
       "Is a directory", 1, "Is a directory", 0},
      {"device", {}, "not a regular file", 1, "not a regular file", 0},
      {"partial last line",
       [&](const std::string& p) { std::ofstream(p) << record << record.substr(0, 30); }, "", 0,
       "history.jsonl: 1 line could not be read", 2},
      {"over-long line",
       [&](const std::string& p) {
         std::ofstream(p) << std::string(300000, 'x') << "\n" << record;
       },
       "", 0, "history.jsonl: 1 line could not be read", 2},
      {"unreadable newest",
       [&](const std::string& p) {
         std::ofstream(p) << record;
         chmod(p.c_str(), 0);
         std::ofstream(std::filesystem::path(p).parent_path().string() + older) << record;
       },
       nullptr, 1, "history.jsonl: Permission denied", 1, true},
      {"unreadable older",
       [&](const std::string& p) {
         std::ofstream(p) << record;
         const std::string rotated = std::filesystem::path(p).parent_path().string() + older;
         std::ofstream(rotated) << record;
         chmod(rotated.c_str(), 0);
       },
       nullptr, 1, "history.1.jsonl: Permission denied", 1, true},
  };
  ThrowAwayUsers users;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    testkit::TempDir folder;
    chmod(folder.Path().c_str(), 0755);
    const std::string path = row.plant ? folder.Path() + "/history.jsonl" : "/dev/zero";
    if (row.plant) row.plant(path);
    if (row.versionNote != nullptr) {
      const auto start = std::chrono::steady_clock::now();
      const ProgramResult run = Cli({"version", "--port", "COM1", "--history", path});
      EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);  // a hang, not a measure
      EXPECT_EQ(run.exitCode, 0) << run.err;
      EXPECT_NE(run.out.find("DSP1"), std::string::npos) << run.out;
      EXPECT_NE(run.err.find(row.versionNote), std::string::npos) << run.err;
      EXPECT_EQ(Lines(run.err).size(), std::string(row.versionNote).empty() ? 0u : 1u) << run.err;
      if (row.what == std::string("link")) {
        EXPECT_EQ(Slurp(path + ".other"), "");
      }
    }
    if (row.asUser && geteuid() == 0 && !users.Made()) {
      ADD_FAILURE() << "no throw-away user";
      continue;
    }
    const std::vector<std::string> arguments = {"history", "--history", path};
    const ProgramResult shown =
        row.asUser && geteuid() == 0 ? users.Cli(0, arguments) : Cli(arguments);
    EXPECT_EQ(shown.exitCode, row.historyExit) << shown.err;
    EXPECT_NE(shown.err.find(row.historySaid), std::string::npos) << shown.err;
    EXPECT_EQ(Lines(shown.out).size(), row.recordsShown) << shown.out;
    if (held >= 0) close(held);
    held = -1;
  }
}

// Ctrl-C while another program holds the history's lock ends the program at once.
TEST_F(CliTest, ASignalEndsTheWaitForAHeldLock) {
  sim::RadioSimulator& radio = StartRadio(1);
  std::filesystem::create_directories(std::filesystem::path(historyPath).parent_path());
  const int held = open(historyPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  testkit::Program run({VANNOR_CLI_PROGRAM, "version", "--port", "COM1"}, STDERR_FILENO);
  ASSERT_TRUE(radio.WaitBytesReceived(1, 20s));
  // Well inside the lock's patience: a 130 shows the wait, not its end, gave way.
  std::this_thread::sleep_for(300ms);
  run.Signal(SIGINT);
  EXPECT_EQ(run.Wait(), 130);
  close(held);
  EXPECT_TRUE(Records().empty());
}

// A bench's one history in a setgid group folder and in a sticky folder, set up as README says:
// two users write across a rotation and every record of both is there afterwards, the new file
// shared as the old one was. Needs root, for the two throw-away users.
TEST_F(CliTest, ABenchSharesOneHistoryAcrossARotation) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to write as two throw-away users";
  ThrowAwayUsers users;
  ASSERT_TRUE(users.Made());
  for (const mode_t folderMode : {02775, 01777}) {
    SCOPED_TRACE(folderMode);
    testkit::TempDir folder;
    ASSERT_EQ(chown(folder.Path().c_str(), 0, users.Group()), 0);
    ASSERT_EQ(chmod(folder.Path().c_str(), folderMode), 0);
    const std::string path = folder.Path() + "/history.jsonl";
    HistoryRecord filler;
    filler.time = "2026-01-01T00:00:00.000Z";
    filler.request = "version";
    filler.user = "filler";
    const std::string line = RecordJson(filler) + "\n";
    {
      std::ofstream file(path);
      for (std::size_t size = 0; size < 10u * 1024 * 1024; size += line.size()) file << line;
    }
    ASSERT_EQ(chown(path.c_str(), users.Uid(0), users.Group()), 0);
    ASSERT_EQ(chmod(path.c_str(), 0664), 0);
    // B first (who may not move A's file out of a sticky folder), then A, then B again.
    for (const int user : {1, 0, 1}) {
      const ProgramResult run =
          users.Cli(user, {"write", "--history", path, "-p", "COM1", "--dsp1", "missing.out"});
      EXPECT_EQ(run.exitCode, 3);
      EXPECT_EQ(run.err.find("history"), std::string::npos) << run.err;
    }
    const ProgramResult shown = users.Cli(0, {"history", "--json", "--history", path});
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    std::vector<std::string> writers;
    for (const std::string& json : Lines(shown.out)) {
      HistoryRecord r;
      ASSERT_TRUE(ParseRecord(json, r));
      if (r.user != "filler") writers.push_back(r.user);
    }
    EXPECT_EQ(writers, (std::vector<std::string>{users.User(1), users.User(0), users.User(1)}));
    struct stat made {};
    ASSERT_EQ(stat(path.c_str(), &made), 0);
    EXPECT_LT(made.st_size, 10 * 1024 * 1024);  // moved aside once
    EXPECT_EQ(made.st_mode & 07777, 0664u);
    EXPECT_EQ(made.st_gid, users.Group());
  }
}

// Two programs recording at once, many times over, leave only whole lines.
TEST_F(CliTest, WritersAtOnceLeaveOnlyWholeLines) {
  constexpr int RUNS = 100;
  auto writer = [this](const char* port) {
    for (int run = 0; run < RUNS; ++run) {
      (void)Cli({"write", "-p", port, "--dsp1", "--dsp2", home.Path() + "/missing.out"});
    }
  };
  std::thread first(writer, "COM1"), second(writer, "COM2");
  first.join();
  second.join();
  EXPECT_EQ(Records().size(), 2u * RUNS);
  std::ifstream file(historyPath);
  EXPECT_TRUE(JsonToolTakes(std::string(std::istreambuf_iterator<char>(file), {})));
}

TEST_F(CliTest, MapUnmapAndPorts) {
  const std::string ports = home.Path() + "/vannor/ports/";
  ProgramResult result = Cli({"map", "COM7", "/dev/serial/by-id/usb-adapter"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(std::filesystem::read_symlink(ports + "COM7"), "/dev/serial/by-id/usb-adapter");
  EXPECT_NE(result.err.find("does not exist now"), std::string::npos);
  result = Cli({"ports"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("COM7  -> /dev/serial/by-id/usb-adapter (missing"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("COM8     /dev/ttyS7 (not mapped)"), std::string::npos);
  // Links to devices that write would refuse say why, before anything is tried.
  const std::pair<std::string, std::string> refused[] = {
      {"/dev/null", "not a serial line (not a terminal)"},
      {"/dev/zero", "not a serial line (not a terminal)"},
      {"/dev/ptmx", "not a serial line (a pseudo-terminal master)"}};
  for (std::size_t i = 0; i < std::size(refused); ++i) {
    const std::string com = "COM" + std::to_string(i + 1);
    ASSERT_EQ(Cli({"map", com, refused[i].first}).exitCode, 0);
    result = Cli({"ports"});
    EXPECT_NE(
        result.out.find(com + " " + std::string(5 - com.size(), ' ') + "-> " + refused[i].first +
                        " (write refuses it: " + refused[i].second + ")\n"),
        std::string::npos)
        << result.out;
  }
  // What is no device at all is no link: map refuses it, as the open would.
  const std::string fifo = home.Path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string longName = "/" + std::string(5000, 'a');
  const std::pair<std::vector<std::string>, std::string> notDevices[] = {
      {{"COM4", home.Path()}, home.Path() + ": not a serial line (a folder)\n"},
      {{"COM4", Image({1})}, Image({1}) + ": not a serial line (a regular file)\n"},
      {{"COM4", fifo}, fifo + ": not a serial line (a FIFO)\n"},
      {{"COM4", ""}, "no device given: name the device to open\n"},
      {{"COM4", longName}, longName + ": File name too long\n"}};
  for (const auto& [arguments, said] : notDevices) {
    SCOPED_TRACE(said.substr(0, 80));
    testkit::TempDir fresh;  // the folders of the links are not there yet
    testkit::ScopedEnv freshHome("XDG_CONFIG_HOME", fresh.Path().c_str());
    result = Cli({"map", arguments[0], arguments[1]});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "vannor-cli: " + said);
    EXPECT_TRUE(std::filesystem::is_empty(fresh.Path()));  // no folder left behind
  }
  // A name in another case is that port; one with a newline stays one line of the listing.
  result = Cli({"map", "com6", home.Path() + "/two\nlines"});
  EXPECT_EQ(result.out, "COM6 -> " + home.Path() + "/two\nlines\n");
  EXPECT_NE(Cli({"ports"}).out.find("COM6  -> " + home.Path() + "/two\\nlines (missing"),
            std::string::npos);
  // Maps at once each write their link whole.
  for (int round = 0; round < 10; ++round) {
    std::vector<std::unique_ptr<testkit::Program>> maps;
    for (const char* device : {"/dev/null", "/dev/zero", "/dev/null", "/dev/zero"}) {
      maps.push_back(std::make_unique<testkit::Program>(
          std::vector<std::string>{VANNOR_CLI_PROGRAM, "map", "COM5", device}));
    }
    for (auto& map : maps) EXPECT_EQ(map->Wait(), 0);
  }
  // A radio's line is no news.
  StartRadio(9);
  EXPECT_NE(Cli({"ports"}).out.find("COM9  -> " + radios.back()->SlavePath() + "\n"),
            std::string::npos);
  // Where the links cannot be read, no name leads anywhere.
  {
    testkit::ScopedEnv hiddenHome("XDG_CONFIG_HOME", LinksHiddenHome().c_str());
    result = Cli({"ports"});
  }
  EXPECT_NE(result.out.find("COM2     cannot be used: " + hidden.Path() +
                            "/vannor/ports: Not a directory\n"),
            std::string::npos)
      << result.out;
  result = Cli({"unmap", "COM7"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_FALSE(std::filesystem::is_symlink(ports + "COM7"));
  EXPECT_EQ(Cli({"unmap", "COM7"}).exitCode, 0);  // nothing to remove is no error
  EXPECT_EQ(Cli({"map", "COM11", "/dev/ttyUSB0"}).exitCode, 2);
  EXPECT_EQ(Cli({"map", "COM1"}).exitCode, 2);
  result = Cli({"write", "--help"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out.rfind("Usage: vannor-cli write", 0), 0u);
}

}  // namespace
}  // namespace vannor::cli
