// The simulator against a plain client on the slave end: the radio's answers, its faults, its
// records, its timing options and its stop.
#include "tools/radio_sim.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <pty.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

#include "testing/images.h"
#include "tests/tools/line_client.h"

namespace vannor::sim {
namespace {

using std::chrono::milliseconds;
using testing::LineClient;
using testkit::AllByteValues;
using Bytes = std::vector<std::uint8_t>;

constexpr milliseconds QUIET{200};  // long enough for an answer that should not come

// Runs the opening of an image write up to the point where the radio echoes.
void OpenImageWrite(LineClient& client, std::uint8_t mask) {
  ASSERT_TRUE(client.Send({RADIO_WRITE_COMMAND, mask}));
  ASSERT_EQ(client.Receive(1), Bytes{RADIO_ACK});
  ASSERT_TRUE(client.Send({RADIO_ENQ}));
  ASSERT_EQ(client.Receive(1), Bytes{RADIO_ACK});
}

class RadioSimTest : public ::testing::Test {
 protected:
  void Begin(const RadioConfig& config) {
    ASSERT_TRUE(radio.Start(config));
    client = std::make_unique<LineClient>(radio.SlavePath());
    ASSERT_TRUE(client->Ok());
  }

  RadioSimulator radio;
  std::unique_ptr<LineClient> client;
};

TEST_F(RadioSimTest, VersionReadAnswersTheGivenBytesOrFallsSilentPartWay) {
  Begin(RadioConfig{});
  ASSERT_TRUE(client->Send({RADIO_VERSION_COMMAND}));
  EXPECT_EQ(client->Receive(4), (Bytes{1, 3, 2, 0}));

  RadioConfig other;
  other.version[0] = 0;
  other.version[1] = 100;
  other.version[2] = 255;
  other.version[3] = 0x13;  // XOFF must cross like any other byte
  radio.Reconfigure(other);
  ASSERT_TRUE(client->Send({RADIO_VERSION_COMMAND}));
  EXPECT_EQ(client->Receive(4), (Bytes{0, 100, 255, 0x13}));

  other.versionReplyLength = 2;
  radio.Reconfigure(other);
  ASSERT_TRUE(client->Send({RADIO_VERSION_COMMAND}));
  EXPECT_EQ(client->Receive(4, QUIET), (Bytes{0, 100}));

  const RadioRecord record = radio.Record();
  EXPECT_EQ(record.versionRequests, 3u);
  EXPECT_EQ(record.bytesReceived, 3u);
  EXPECT_EQ(record.bytesSent, 10u);
  EXPECT_TRUE(record.faultPlayed);
}

TEST_F(RadioSimTest, ImageWriteEchoesEveryByteValueAndRecordsMaskAndImage) {
  RadioConfig config;
  const Bytes image = AllByteValues(700);
  config.expectedLength = static_cast<std::uint32_t>(image.size());
  Begin(config);

  OpenImageWrite(*client, 0x0F);
  EXPECT_EQ(client->EchoEach(image), image);
  ASSERT_TRUE(radio.WaitImageOver(milliseconds(5000)));
  RadioRecord record = radio.Record();
  EXPECT_EQ(record.mask, 0x0F);
  EXPECT_EQ(record.imageLength, image.size());
  EXPECT_FALSE(record.faultPlayed);
  EXPECT_EQ(radio.Image(), image);

  // Once the told length is reached the radio takes commands again at once, and a second
  // write replaces the record of the first.
  ASSERT_TRUE(client->Send({RADIO_VERSION_COMMAND}));
  EXPECT_EQ(client->Receive(4), (Bytes{1, 3, 2, 0}));
  OpenImageWrite(*client, 0x09);
  const Bytes second = {RADIO_WRITE_COMMAND, RADIO_VERSION_COMMAND, 0x00};
  radio.Reconfigure([&] {
    RadioConfig shorter;
    shorter.expectedLength = 3;
    return shorter;
  }());
  EXPECT_EQ(client->EchoEach(second), second);
  record = radio.Record();
  EXPECT_FALSE(record.imageOver);  // still 700 long: a change waits for the next command
  EXPECT_EQ(record.mask, 0x09);
  EXPECT_EQ(record.imageLength, 3u);
  EXPECT_EQ(record.writeRequests, 2u);
  EXPECT_EQ(record.strayBytes, 0u);
}

TEST_F(RadioSimTest, ImageOfUnknownLengthEndsWhenTheLineGoesQuiet) {
  RadioConfig config;
  config.idleGapMs = 100;
  Begin(config);
  OpenImageWrite(*client, 0x01);
  // Command bytes inside an image are image bytes.
  const Bytes image = {RADIO_VERSION_COMMAND, RADIO_WRITE_COMMAND, RADIO_ACK, 0xFF};
  EXPECT_EQ(client->EchoEach(image), image);
  EXPECT_TRUE(radio.WaitImageOver(milliseconds(5000)));
  EXPECT_EQ(radio.Image(), image);

  // After the gap the same byte is a command again.
  ASSERT_TRUE(client->Send({RADIO_VERSION_COMMAND}));
  EXPECT_EQ(client->Receive(4), (Bytes{1, 3, 2, 0}));
}

TEST_F(RadioSimTest, AnImageEndedByTheGapIsKeptWhenTheNextRequestFollowsAtOnce) {
  RadioConfig config;
  config.idleGapMs = 100;
  Begin(config);
  OpenImageWrite(*client, 0x03);
  const Bytes first = AllByteValues(300);
  EXPECT_EQ(client->EchoEach(first), first);
  std::this_thread::sleep_for(milliseconds(150));
  // Nobody looked during the gap; the next request begins over the session's copy.
  OpenImageWrite(*client, 0x0C);
  const Bytes second = {0x10, 0x20};
  EXPECT_EQ(client->EchoEach(second), second);
  Bytes kept;
  EndedImage ended = radio.LatestEndedImage(kept);
  EXPECT_EQ(ended.writeRequest, 1u);
  EXPECT_EQ(ended.length, 300u);
  EXPECT_FALSE(ended.faultPlayed);
  EXPECT_EQ(kept, first);

  // The second ends by time alone.
  ASSERT_TRUE(radio.WaitImageOver(milliseconds(5000)));
  ended = radio.LatestEndedImage(kept);
  EXPECT_EQ(ended.writeRequest, 2u);
  EXPECT_EQ(kept, second);
}

TEST_F(RadioSimTest, AckFaultsAnswerWhatTheyAreToldAndEndTheExchange) {
  struct Case {
    const char* name;
    bool second;
    std::int16_t reply;
    Bytes garbage;
    Bytes expected;
  };
  const Case cases[] = {
      {"NAK for the first ACK", false, RADIO_NAK, {}, {RADIO_NAK}},
      {"any byte for the first ACK", false, 0x00, {}, {0x00}},
      {"silence for the first ACK", false, NO_REPLY, {}, {}},
      {"noise before the first ACK", false, RADIO_ACK, {0xFF, 0x13}, {0xFF, 0x13, RADIO_ACK}},
      {"NAK for the second ACK", true, RADIO_NAK, {}, {RADIO_NAK}},
      {"silence for the second ACK", true, NO_REPLY, {}, {}},
      {"noise before the second ACK", true, RADIO_ACK, {0x11}, {0x11, RADIO_ACK}},
  };
  Begin(RadioConfig{});
  std::uint32_t requests = 0;
  std::uint64_t sent = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RadioConfig config;
    AckReply& ack = c.second ? config.secondAck : config.firstAck;
    ack.reply = c.reply;
    for (std::uint8_t b : c.garbage) ack.garbage[ack.garbageLength++] = b;
    radio.Reconfigure(config);

    ASSERT_TRUE(client->Send({RADIO_WRITE_COMMAND, 0x05}));
    ++requests;
    sent += 2;
    if (c.second) {
      ASSERT_EQ(client->Receive(1), Bytes{RADIO_ACK});
      ASSERT_TRUE(client->Send({RADIO_ENQ}));
      ++sent;
    }
    EXPECT_EQ(client->Receive(c.expected.size() + 1, QUIET), c.expected);
    ASSERT_TRUE(radio.WaitBytesReceived(sent, milliseconds(5000)));
    RadioRecord record = radio.Record();
    EXPECT_TRUE(record.faultPlayed);
    EXPECT_TRUE(record.imageOver);

    // The radio has given up on the exchange: a byte now is counted as stray, and a fresh
    // request without faults goes through.
    const std::uint32_t strays = record.strayBytes;
    ASSERT_TRUE(client->Send({0x42}));
    ASSERT_TRUE(radio.WaitBytesReceived(++sent, milliseconds(5000)));
    EXPECT_EQ(radio.Record().strayBytes, strays + 1);
    RadioConfig sound;
    sound.expectedLength = 2;
    radio.Reconfigure(sound);
    OpenImageWrite(*client, 0x05);
    ++requests;
    ASSERT_EQ(client->EchoEach({0x05, 0x06}), (Bytes{0x05, 0x06}));
    sent += 5;
    record = radio.Record();
    EXPECT_EQ(record.writeRequests, requests);
    EXPECT_FALSE(record.faultPlayed);
    EXPECT_TRUE(record.imageOver);
  }
}

TEST_F(RadioSimTest, ImageByteFaultsStrikeAtTheFirstAMiddleAndTheLastByte) {
  const Bytes image = AllByteValues(300);
  const std::uint32_t places[] = {0, 150, 299};
  for (std::uint32_t at : places) {
    for (int kind = 0; kind < 2; ++kind) {
      SCOPED_TRACE(::testing::Message() << (kind == 0 ? "wrong echo" : "silence") << " at " << at);
      RadioConfig config;
      config.expectedLength = static_cast<std::uint32_t>(image.size());
      (kind == 0 ? config.wrongEchoAt : config.silentFrom) = at;
      Begin(config);
      OpenImageWrite(*client, 0x05);
      const Bytes before(image.begin(), image.begin() + at);
      ASSERT_EQ(client->EchoEach(before), before);
      ASSERT_TRUE(client->Send({image[at]}));
      const Bytes answer = client->Receive(1, kind == 0 ? milliseconds(5000) : QUIET);
      if (kind == 0) {
        ASSERT_EQ(answer.size(), 1u);
        EXPECT_NE(answer[0], image[at]);
      } else {
        EXPECT_TRUE(answer.empty());
      }
      ASSERT_TRUE(radio.WaitBytesReceived(3 + at + 1, milliseconds(5000)));
      RadioRecord record = radio.Record();
      EXPECT_TRUE(record.faultPlayed);
      EXPECT_TRUE(record.imageOver);
      EXPECT_EQ(record.imageLength, at + 1);
      EXPECT_EQ(radio.Image(), Bytes(image.begin(), image.begin() + at + 1));
      // A tool that went on sending would show here.
      ASSERT_TRUE(client->Send({image[(at + 1) % image.size()]}));
      ASSERT_TRUE(radio.WaitBytesReceived(3 + at + 2, milliseconds(5000)));
      EXPECT_EQ(radio.Record().strayBytes, 1u);
      radio.Stop();
    }
  }
}

TEST_F(RadioSimTest, HangUpClosesTheLineWhenTheByteArrives) {
  for (std::uint32_t at : {0u, 5u, 9u}) {
    SCOPED_TRACE(at);
    RadioConfig config;
    config.expectedLength = 10;
    config.hangUpAt = at;
    Begin(config);
    OpenImageWrite(*client, 0x04);
    const Bytes image = AllByteValues(10);
    const Bytes before(image.begin(), image.begin() + at);
    ASSERT_EQ(client->EchoEach(before), before);
    ASSERT_TRUE(client->Send({image[at]}));
    EXPECT_TRUE(client->Receive(1).empty());
    EXPECT_TRUE(client->Gone());
    EXPECT_FALSE(radio.Running());
    const RadioRecord record = radio.Record();
    EXPECT_TRUE(record.hungUp);
    EXPECT_EQ(record.imageLength, at + 1);
    radio.Stop();
  }
}

TEST_F(RadioSimTest, SomethingOtherThanEnqAfterTheFirstAckIsAProtocolError) {
  Begin(RadioConfig{});
  ASSERT_TRUE(client->Send({RADIO_WRITE_COMMAND, 0x01}));
  ASSERT_EQ(client->Receive(1), Bytes{RADIO_ACK});
  ASSERT_TRUE(client->Send({RADIO_ACK}));
  EXPECT_TRUE(client->Receive(1, QUIET).empty());
  ASSERT_TRUE(radio.WaitBytesReceived(3, milliseconds(5000)));
  EXPECT_EQ(radio.Record().protocolErrors, 1u);
  ASSERT_TRUE(client->Send({RADIO_VERSION_COMMAND}));
  EXPECT_EQ(client->Receive(4), (Bytes{1, 3, 2, 0}));
}

// Timing itself is the benchmark's to measure; here only what cannot fail by load: a paced or
// delayed radio still answers every byte right, and never faster than it was told.
TEST_F(RadioSimTest, PacedAndDelayedRadiosAnswerEveryByteNoSoonerThanTold) {
  const Bytes image = AllByteValues(40);
  for (bool pace : {true, false}) {
    SCOPED_TRACE(pace ? "paced at 38400 baud" : "2 ms delay per byte");
    RadioConfig config;
    config.pace38400 = pace;
    config.replyDelayUs = pace ? 0 : 2000;
    config.expectedLength = static_cast<std::uint32_t>(image.size());
    Begin(config);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client->Send({RADIO_VERSION_COMMAND}));
    EXPECT_EQ(client->Receive(4), (Bytes{1, 3, 2, 0}));
    OpenImageWrite(*client, 0x05);
    EXPECT_EQ(client->EchoEach(image), image);
    const auto took = std::chrono::steady_clock::now() - start;
    // Each round trip is at least two byte times (or one delay); the version reply, four more.
    const auto least =
        pace ? BYTE_TIME_38400 * (2 * (image.size() + 3) + 4)
             : std::chrono::nanoseconds(std::chrono::microseconds(2000)) * (image.size() + 2 + 4);
    EXPECT_GE(took, least);
    radio.Stop();
  }
}

// A radio that talks unasked floods the idle line a byte time apart, yet answers a request; one
// that adds a byte after the last echo sends it in the same write.
TEST_F(RadioSimTest, AFloodWhileIdleAndAByteAfterTheLastEcho) {
  RadioConfig config;
  config.idleFlood = 0x06;
  // Taken before the radio starts, so that bytes it sent while the test was slow still count.
  const auto start = std::chrono::steady_clock::now();
  Begin(config);
  EXPECT_EQ(client->Receive(20), Bytes(20, 0x06));
  EXPECT_GE(std::chrono::steady_clock::now() - start, BYTE_TIME_38400 * 19);
  // Bytes the radio sent before the client made its end raw came back as echoes, so the
  // answer is looked for in what the line carries, not in the radio's count of bytes.
  ASSERT_TRUE(client->Send({RADIO_VERSION_COMMAND}));
  Bytes answer;
  for (int chunk = 0; chunk < 100 && answer.size() < 4; ++chunk) {
    const Bytes got = client->Receive(64, QUIET);
    if (got.empty()) break;
    std::copy_if(got.begin(), got.end(), std::back_inserter(answer),
                 [](std::uint8_t byte) { return byte != 0x06; });
  }
  EXPECT_EQ(answer, (Bytes{1, 3, 2, 0}));
  radio.Stop();

  const Bytes image = {0x10, 0x20, 0x30};
  config = RadioConfig{};
  config.expectedLength = static_cast<std::uint32_t>(image.size());
  config.afterLastEcho = 0xAA;
  Begin(config);
  OpenImageWrite(*client, 0x01);
  EXPECT_EQ(client->EchoEach({0x10, 0x20}), (Bytes{0x10, 0x20}));
  ASSERT_TRUE(client->Send({0x30}));
  EXPECT_EQ(client->Receive(2), (Bytes{0x30, 0xAA}));
  EXPECT_TRUE(client->Receive(1, QUIET).empty());
  EXPECT_TRUE(radio.Record().faultPlayed);
  EXPECT_EQ(radio.Image(), image);
}

TEST_F(RadioSimTest, StopEndsTheRadioWhereverItIsAndLeavesNothingOpen) {
  auto openFds = [] {
    int count = 0;
    DIR* folder = opendir("/proc/self/fd");
    while (folder != nullptr && readdir(folder) != nullptr) ++count;
    if (folder != nullptr) closedir(folder);
    return count;
  };
  const int before = openFds();
  // Nobody on the line; a client that stays connected; a reply held back by a long delay.
  ASSERT_TRUE(radio.Start(RadioConfig{}));
  radio.Stop();
  Begin(RadioConfig{});
  ASSERT_TRUE(client->Send({RADIO_WRITE_COMMAND, 0x01}));
  ASSERT_EQ(client->Receive(1), Bytes{RADIO_ACK});
  radio.Stop();
  EXPECT_TRUE(client->Receive(1).empty());
  EXPECT_TRUE(client->Gone());  // the tool sees the radio go away
  client.reset();

  RadioConfig slow;
  slow.replyDelayUs = 60 * 1000 * 1000;
  Begin(slow);
  ASSERT_TRUE(client->Send({RADIO_VERSION_COMMAND}));
  ASSERT_TRUE(radio.WaitBytesReceived(1, milliseconds(5000)));
  const auto start = std::chrono::steady_clock::now();
  radio.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  client.reset();
  radio.Stop();  // twice is harmless
  EXPECT_EQ(openFds(), before);
}

TEST(RadioSimDevice, ServesADeviceItIsGiven) {
  // The test's own pty stands in for a cable: the simulator opens the slave as its device,
  // and the test talks through the master without ever changing its settings.
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  char name[128];
  ASSERT_EQ(ptsname_r(master, name, sizeof name), 0);
  RadioSimulator radio;
  ASSERT_TRUE(radio.StartDevice(name, RadioConfig{}));
  EXPECT_EQ(radio.SlavePath(), name);
  const std::uint8_t request = RADIO_VERSION_COMMAND;
  ASSERT_EQ(write(master, &request, 1), 1);
  std::uint8_t reply[4];
  std::size_t got = 0;
  while (got < 4) {
    pollfd ready = {master, POLLIN, 0};
    ASSERT_GT(poll(&ready, 1, 5000), 0);
    const ssize_t n = read(master, reply + got, 4 - got);
    ASSERT_GT(n, 0);
    got += static_cast<std::size_t>(n);
  }
  EXPECT_EQ(Bytes(reply, reply + 4), (Bytes{1, 3, 2, 0}));
  radio.Stop();
  close(slave);
  close(master);
  EXPECT_FALSE(radio.StartDevice("/nonexistent/tty", RadioConfig{}));
}

}  // namespace
}  // namespace vannor::sim
