// vannor-radio-sim as a person runs it: help, the printed path, the link, and a clean end on
// SIGINT and SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "testing/images.h"
#include "testing/program.h"
#include "testing/temp_dir.h"
#include "tests/tools/line_client.h"

namespace {

namespace fs = std::filesystem;
using vannor::sim::testing::LineClient;
using TempFolder = vannor::testkit::TempDir;

// The simulator with its standard output on a pipe.
class Program : public vannor::testkit::Program {
 public:
  explicit Program(std::vector<std::string> arguments)
      : vannor::testkit::Program(WithProgram(std::move(arguments))) {}

 private:
  static std::vector<std::string> WithProgram(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), RADIO_SIM_PROGRAM);
    return arguments;
  }
};

TEST(SimProgram, HelpNamesEveryFaultAndUsageErrorsExitWithTwo) {
  Program help({"--help"});
  const std::string text = help.Rest();
  EXPECT_EQ(help.Wait(), 0);
  for (const char* option : {"--first-ack", "--second-ack", "--garbage", "--wrong-echo-at",
                             "--silent-from", "--hang-up-at", "--delay-us", "--pace", "--length",
                             "--idle-ms", "--config-home", "--com", "--image-file", "SIGTERM"}) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
  Program wrong({"--no-such-option"});
  EXPECT_EQ(wrong.Rest(), "");
  EXPECT_EQ(wrong.Wait(), 2);
}

TEST(SimProgram, PrintsTheSlaveLinksTheComPortAndCleansUpOnEitherSignal) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    TempFolder home;
    Program radio({"--config-home", home.Path(), "--com", "3", "--dsp-version", "9.8.7.6"});
    const std::string slave = radio.Line();
    ASSERT_EQ(slave.rfind("/dev/pts/", 0), 0u) << slave;
    const std::string link = home.Path() + "/vannor/ports/COM3";
    EXPECT_EQ(radio.Line(), "COM3 -> " + link);
    ASSERT_EQ(fs::read_symlink(link), slave);

    {
      LineClient client(link);
      ASSERT_TRUE(client.Ok());
      ASSERT_TRUE(client.Send({0x56}));
      EXPECT_EQ(client.Receive(4), (std::vector<std::uint8_t>{9, 8, 7, 6}));
    }
    EXPECT_EQ(radio.Line(), "version read answered (1 so far)");
    radio.Signal(signal);
    EXPECT_EQ(radio.Rest(), "stopped\n");
    EXPECT_EQ(radio.Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  }
}

TEST(SimProgram, TellsTheEndOfEveryImageAfterWritingItToTheImageFile) {
  TempFolder folder;
  const std::string file = folder.Path() + "/received";
  Program radio({"--no-map", "--idle-ms", "100", "--image-file", file});
  LineClient client(radio.Line());
  ASSERT_TRUE(client.Ok());
  for (const std::size_t length : {500u, 20u}) {
    SCOPED_TRACE(length);
    const std::vector<std::uint8_t> image = vannor::testkit::AllByteValues(length);
    ASSERT_TRUE(client.Send({0x57, 0x0F}));
    ASSERT_EQ(client.Receive(1), std::vector<std::uint8_t>{0x06});
    ASSERT_TRUE(client.Send({0x05}));
    ASSERT_EQ(client.Receive(1), std::vector<std::uint8_t>{0x06});
    ASSERT_EQ(client.EchoEach(image), image);
    EXPECT_EQ(radio.Line(), "image write requested, mask 0x0F");
    EXPECT_EQ(radio.Line(), "image ended after " + std::to_string(length) + " bytes");
    std::ifstream saved(file, std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(saved), {}), image);
  }
  radio.Signal(SIGTERM);
  EXPECT_EQ(radio.Rest(), "stopped\n");
  EXPECT_EQ(radio.Wait(), 0);
}

TEST(SimProgram, APlayedHangUpEndsTheProgramAndItsLink) {
  TempFolder home;
  Program radio({"--config-home", home.Path(), "--hang-up-at", "1", "--quiet"});
  const std::string slave = radio.Line();
  LineClient client(slave);
  ASSERT_TRUE(client.Ok());
  ASSERT_TRUE(client.Send({0x57, 0x01}));
  ASSERT_EQ(client.Receive(1), std::vector<std::uint8_t>{0x06});
  ASSERT_TRUE(client.Send({0x05}));
  ASSERT_EQ(client.Receive(1), std::vector<std::uint8_t>{0x06});
  ASSERT_EQ(client.EchoEach({0xAA}), std::vector<std::uint8_t>{0xAA});
  ASSERT_TRUE(client.Send({0xBB}));
  EXPECT_TRUE(client.Receive(1).empty());
  EXPECT_TRUE(client.Gone());
  EXPECT_EQ(radio.Rest(), "");
  EXPECT_EQ(radio.Wait(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(home.Path() + "/vannor/ports/COM1")));
}

}  // namespace
