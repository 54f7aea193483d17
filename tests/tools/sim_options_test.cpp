// The simulator's command line: every fault and setting lands in the radio's configuration,
// and a mistyped command is refused instead of running a different radio.
#include "tools/sim_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace vannor::sim {
namespace {

bool Parse(std::vector<const char*> words, SimOptions& options, std::string& error) {
  words.insert(words.begin(), "vannor-radio-sim");
  return ParseSimOptions(static_cast<int>(words.size()), words.data(), options, error);
}

TEST(SimOptions, EveryOptionReachesTheRadio) {
  SimOptions options;
  std::string error;
  ASSERT_TRUE(Parse(
      {"--com",           "10",   "--config-home",     "/tmp/x",    "--dsp-version",    "4.5.255.0",
       "--length",        "0x10", "--idle-ms",         "250",       "--first-ack",      "0x15",
       "--second-ack",    "none", "--garbage",         "0,0xff,19", "--garbage-second", "0x11",
       "--wrong-echo-at", "7",    "--silent-from",     "8",         "--hang-up-at",     "9",
       "--version-bytes", "2",    "--delay-us",        "1500",      "--pace",           "--quiet",
       "--flood",         "0x06", "--after-last-echo", "0xAA"},
      options, error))
      << error;
  const RadioConfig& radio = options.radio;
  EXPECT_EQ(options.comNumber, 10);
  EXPECT_EQ(options.configHome, "/tmp/x");
  EXPECT_TRUE(options.map);
  EXPECT_TRUE(options.quiet);
  EXPECT_EQ(std::vector<int>(radio.version, radio.version + 4), (std::vector<int>{4, 5, 255, 0}));
  EXPECT_EQ(radio.expectedLength, 16u);
  EXPECT_EQ(radio.idleGapMs, 250u);
  EXPECT_EQ(radio.firstAck.reply, 0x15);
  EXPECT_EQ(radio.secondAck.reply, NO_REPLY);
  ASSERT_EQ(radio.firstAck.garbageLength, 3);
  EXPECT_EQ(radio.firstAck.garbage[1], 0xFF);
  EXPECT_EQ(radio.firstAck.garbage[2], 19);
  ASSERT_EQ(radio.secondAck.garbageLength, 1);
  EXPECT_EQ(radio.secondAck.garbage[0], 0x11);
  EXPECT_EQ(radio.wrongEchoAt, 7u);
  EXPECT_EQ(radio.silentFrom, 8u);
  EXPECT_EQ(radio.hangUpAt, 9u);
  EXPECT_EQ(radio.versionReplyLength, 2);
  EXPECT_EQ(radio.replyDelayUs, 1500u);
  EXPECT_TRUE(radio.pace38400);
  EXPECT_EQ(radio.idleFlood, 0x06);
  EXPECT_EQ(radio.afterLastEcho, 0xAA);

  SimOptions plain;
  ASSERT_TRUE(
      Parse({"--no-map", "--device", "/dev/ttyUSB1", "--image-file", "/tmp/got"}, plain, error));
  EXPECT_FALSE(plain.map);
  EXPECT_EQ(plain.device, "/dev/ttyUSB1");
  EXPECT_EQ(plain.imageFile, "/tmp/got");
  EXPECT_EQ(plain.radio.wrongEchoAt, NEVER);
  EXPECT_EQ(plain.radio.firstAck.reply, RADIO_ACK);
  EXPECT_EQ(plain.radio.idleFlood, NO_REPLY);
  EXPECT_EQ(plain.radio.afterLastEcho, NO_REPLY);
}

TEST(SimOptions, MistakesAreRefusedWithTheirReason) {
  const std::vector<std::vector<const char*>> wrong = {
      {"--com", "0"},
      {"--com", "11"},
      {"--com"},
      {"--dsp-version", "1.2.3"},
      {"--dsp-version", "1.2.3.256"},
      {"--first-ack", "0x100"},
      {"--garbage", "1,,2"},
      {"--garbage", "1,2,3,4,5,6,7,8,9"},
      {"--wrong-echo-at", "-1"},
      {"--length", "0"},
      {"--version-bytes", "4"},
      {"--delay-us", "12abc"},
      {"--flood", "none"},
      {"--after-last-echo", "1"},
      {"--silent"},
      {"--image-file"},
      {"extra"},
  };
  for (const auto& words : wrong) {
    SimOptions options;
    std::string error;
    EXPECT_FALSE(Parse(words, options, error)) << words[0];
    EXPECT_NE(error.find(words[0]), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace vannor::sim
