// Every fault the radio can play, at the first, a middle and the last byte, over the whole
// link: the right message, the engine back at Idle with its timer stopped, nothing more sent,
// no spinning, and an Update afterwards that works. The response timer is the test's, so that
// a silent radio is judged at once instead of after five seconds; the slow tests use the real
// one.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "tests/e2e/link_fixture.h"

namespace vannor::e2e {
namespace {

constexpr std::uint32_t LENGTH = 300;

struct Fault {
  const char* name;
  void (*play)(RadioConfig&);
  // What the radio has received when the fault strikes: all the tool may ever send.
  std::uint64_t receivedByThen;
  // A silent radio leaves the tool waiting until its time-out.
  bool silent;
  bool hangUp;
};

void Configure(RadioConfig& config, void (*play)(RadioConfig&)) {
  config.expectedLength = LENGTH;
  play(config);
}

// Test names say which fault; the bytes of the case say nothing.
void PrintTo(const Fault& fault, std::ostream* out) {
  *out << fault.name;
}

class FaultTest : public LinkTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FaultTest, EndsTheExchangeCleanlyAndTheNextUpdateWorks) {
  const Fault& fault = GetParam();
  RadioConfig config;
  Configure(config, fault.play);
  Connect(config, HeadlessHost::Timer::Manual);
  const Bytes image = MakeImage(LENGTH);
  const std::string path = WriteImage(image);

  host->ClickUpdate(path);
  ASSERT_TRUE(radio.WaitBytesReceived(fault.receivedByThen, PROMPTLY));
  if (fault.silent) {
    // The tool waits for the radio with its timer running, and nothing else happens.
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_NE(EngineState(), ProtocolState::Idle);
    ASSERT_TRUE(host->FireTimer());
  }
  EXPECT_EQ(NextMessage(), MSG_COMMUNICATION_ERROR);
  EXPECT_EQ(EngineState(), ProtocolState::Idle);
  EXPECT_FALSE(host->Look().timerRunning);
  EXPECT_EQ(host->Messages().size(), 1u);

  // Quiet afterwards: nothing more arrives, and after a hang-up the dead port is closed
  // instead of being waited on.
  const headless::HostCounts afterFailure = host->Look().counts;
  const auto cpuBefore = host->EventThreadCpu();
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_LE(host->Look().counts.notifications, afterFailure.notifications + 1);
  EXPECT_LT(host->EventThreadCpu() - cpuBefore, milliseconds(100));
  EXPECT_EQ(host->Look().counts.writes, afterFailure.writes);

  if (fault.hangUp) {
    EXPECT_FALSE(host->Look().portOpen);  // the dead port is closed, not waited on
    // The radio comes back on a new line; choosing COM1 again reaches it.
    EXPECT_FALSE(radio.Running());
    EXPECT_EQ(radio.Record().bytesReceived, fault.receivedByThen);
    RadioConfig sound;
    sound.expectedLength = LENGTH;
    ASSERT_TRUE(radio.Start(sound));
    ASSERT_TRUE(radio.MapPort(home.Path(), 1));
    ASSERT_EQ(host->SelectPort(0), 0);
    EXPECT_EQ(host->Messages().size(), 1u);  // the port opened without complaint
    host->ClickUpdate(path);
    EXPECT_EQ(NextMessage(TRANSFER), MSG_COMPLETION);
    EXPECT_EQ(radio.Record().bytesReceived, 3 + LENGTH);
  } else {
    RadioConfig sound;
    sound.expectedLength = LENGTH;
    radio.Reconfigure(sound);
    host->ClickUpdate(path);
    EXPECT_EQ(NextMessage(TRANSFER), MSG_COMPLETION);
    // Anything the tool had sent after the failure would have reached the radio before the
    // new request and would show here as a stray byte or a longer count.
    const sim::RadioRecord record = radio.Record();
    EXPECT_EQ(record.strayBytes, 0u);
    EXPECT_EQ(record.protocolErrors, 0u);
    EXPECT_EQ(record.bytesReceived, fault.receivedByThen + 3 + LENGTH);
    EXPECT_EQ(record.writeRequests, 2u);
  }
  EXPECT_TRUE(radio.Image() == image);
  EXPECT_EQ(host->Look().progress, 100);
}

// Image byte N reaches the radio as byte 3 + N of the exchange (after 0x57, mask and ENQ).
constexpr std::uint64_t AtImageByte(std::uint32_t n) {
  return 3 + n + 1;
}

const Fault FAULTS[] = {
    {"NakForTheFirstAck", [](RadioConfig& c) { c.firstAck.reply = sim::RADIO_NAK; }, 2, false,
     false},
    {"AnyByteForTheFirstAck", [](RadioConfig& c) { c.firstAck.reply = 0x57; }, 2, false, false},
    {"SilenceForTheFirstAck", [](RadioConfig& c) { c.firstAck.reply = sim::NO_REPLY; }, 2, true,
     false},
    {"GarbageBeforeTheFirstAck",
     [](RadioConfig& c) {
       c.firstAck.garbage[0] = 0xFF;
       c.firstAck.garbage[1] = 0x00;
       c.firstAck.garbageLength = 2;
     },
     2, false, false},
    {"NakForTheSecondAck", [](RadioConfig& c) { c.secondAck.reply = sim::RADIO_NAK; }, 3, false,
     false},
    {"AnyByteForTheSecondAck", [](RadioConfig& c) { c.secondAck.reply = 0x05; }, 3, false, false},
    {"SilenceForTheSecondAck", [](RadioConfig& c) { c.secondAck.reply = sim::NO_REPLY; }, 3, true,
     false},
    {"GarbageBeforeTheSecondAck",
     [](RadioConfig& c) {
       c.secondAck.garbage[0] = 0x13;
       c.secondAck.garbageLength = 1;
     },
     3, false, false},
    {"WrongEchoAtTheFirstByte", [](RadioConfig& c) { c.wrongEchoAt = 0; }, AtImageByte(0), false,
     false},
    {"WrongEchoAtAMiddleByte", [](RadioConfig& c) { c.wrongEchoAt = 150; }, AtImageByte(150), false,
     false},
    {"WrongEchoAtTheLastByte", [](RadioConfig& c) { c.wrongEchoAt = LENGTH - 1; },
     AtImageByte(LENGTH - 1), false, false},
    {"SilenceFromTheFirstByte", [](RadioConfig& c) { c.silentFrom = 0; }, AtImageByte(0), true,
     false},
    {"SilenceFromAMiddleByte", [](RadioConfig& c) { c.silentFrom = 150; }, AtImageByte(150), true,
     false},
    {"SilenceFromTheLastByte", [](RadioConfig& c) { c.silentFrom = LENGTH - 1; },
     AtImageByte(LENGTH - 1), true, false},
    // A hang-up is told by the port at once: no time-out needed.
    {"HangUpAtTheFirstByte", [](RadioConfig& c) { c.hangUpAt = 0; }, AtImageByte(0), false, true},
    {"HangUpAtAMiddleByte", [](RadioConfig& c) { c.hangUpAt = 150; }, AtImageByte(150), false,
     true},
    {"HangUpAtTheLastByte", [](RadioConfig& c) { c.hangUpAt = LENGTH - 1; },
     AtImageByte(LENGTH - 1), false, true},
};

INSTANTIATE_TEST_SUITE_P(RadioFaults, FaultTest, ::testing::ValuesIn(FAULTS),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                           return std::string(info.param.name);
                         });

// A slow radio is no fault: delayed or paced answers still get the whole image across.
TEST_F(LinkTest, DelayedAndPacedRadiosStillReceiveTheWholeImage) {
  const Bytes image = MakeImage(200);
  RadioConfig config;
  config.expectedLength = 200;
  config.replyDelayUs = 300;
  Connect(config, HeadlessHost::Timer::Manual);
  host->ClickUpdate(WriteImage(image));
  EXPECT_EQ(NextMessage(TRANSFER), MSG_COMPLETION);
  EXPECT_TRUE(radio.Image() == image);

  config.replyDelayUs = 0;
  config.pace38400 = true;
  radio.Reconfigure(config);
  host->ClickUpdate(WriteImage(image));
  EXPECT_EQ(NextMessage(TRANSFER), MSG_COMPLETION);
  EXPECT_TRUE(radio.Image() == image);
  EXPECT_EQ(radio.Record().bytesReceived, 2 * (3 + 200));
}

// Without a port nothing goes out, the event thread rests, and the time-out reports the silence.
TEST_F(LinkTest, WithNoPortTheExchangeEndsAtTheTimeOut) {
  ASSERT_TRUE(radio.Start(RadioConfig{}));
  std::filesystem::create_directories(home.Path() + "/vannor/ports");
  std::filesystem::create_symlink("/nonexistent/tty", home.Path() + "/vannor/ports/COM1");
  host = std::make_unique<HeadlessHost>(HeadlessHost::Timer::Manual);
  const std::string kept = home.Path() + "/history.jsonl";
  HistoryLog log(kept, "vannor", "1");
  host->KeepHistory(log);
  ASSERT_EQ(host->OpenAndListen(0), 0);
  const auto cpuBefore = host->EventThreadCpu();
  host->ClickUpdate(WriteImage(MakeImage(10)));
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_TRUE(host->Messages().empty());
  EXPECT_LT(host->EventThreadCpu() - cpuBefore, milliseconds(100));
  ASSERT_TRUE(host->FireTimer());
  EXPECT_EQ(NextMessage(), MSG_COMMUNICATION_ERROR);
  EXPECT_EQ(EngineState(), ProtocolState::Idle);
  EXPECT_EQ(radio.Record().bytesReceived, 0u);
  host->End();
  EXPECT_TRUE(host->Look().endedOk);
  // The box is the exchange's; the record says that nothing went out on any port.
  HistoryRecord record;
  ASSERT_EQ(ReadHistory(kept, [&](const HistoryRecord& r) { record = r; }).Unreadable(), 0u);
  EXPECT_EQ(record.outcome, "port-not-usable");
  EXPECT_EQ(record.message, MSG_COMMUNICATION_ERROR);
  EXPECT_EQ(record.cause.substr(0, 17), "no port was open:");
}

}  // namespace
}  // namespace vannor::e2e
