// The few tests that wait for the real five-second response timer.
#include <gtest/gtest.h>

#include <thread>

#include "tests/e2e/link_fixture.h"

namespace vannor::e2e {
namespace {

using Clock = std::chrono::steady_clock;

// The timer runs from the tool's last send, a moment before the radio has the byte; the error
// may come no earlier than five seconds after that, give or take a scheduler tick.
constexpr auto NOT_BEFORE = milliseconds(4950);
constexpr auto WITHIN = milliseconds(60000);

TEST_F(LinkTest, ARadioThatFallsSilentIsReportedFiveSecondsAfterTheLastByte) {
  RadioConfig config;
  config.expectedLength = 300;
  config.silentFrom = 150;
  Connect(config, HeadlessHost::Timer::Real);
  host->ClickUpdate(WriteImage(MakeImage(300)));
  ASSERT_TRUE(radio.WaitBytesReceived(3 + 151, PROMPTLY));
  const Clock::time_point silentSince = Clock::now();
  const auto cpuBefore = host->EventThreadCpu();
  EXPECT_EQ(NextMessage(WITHIN), MSG_COMMUNICATION_ERROR);
  EXPECT_GE(Clock::now() - silentSince, NOT_BEFORE);
  EXPECT_EQ(EngineState(), ProtocolState::Idle);
  EXPECT_FALSE(host->Look().timerRunning);
  // Five seconds of waiting cost the event thread next to nothing.
  EXPECT_LT(host->EventThreadCpu() - cpuBefore, milliseconds(100));
  EXPECT_EQ(host->Look().counts.timerExpiries, 1u);
  EXPECT_EQ(radio.Record().bytesReceived, 3u + 151);
}

TEST_F(LinkTest, ASlowRadioWithinTheTimeOutCompletesAnUpdateLongerThanIt) {
  // Four answers 1.4 s apart: each one in time, the whole exchange well over five seconds.
  RadioConfig config;
  config.expectedLength = 2;
  config.replyDelayUs = 1400 * 1000;
  Connect(config, HeadlessHost::Timer::Real);
  const Bytes image = MakeImage(2);
  const Clock::time_point start = Clock::now();
  host->ClickUpdate(WriteImage(image));
  EXPECT_EQ(NextMessage(WITHIN), MSG_COMPLETION);
  EXPECT_GE(Clock::now() - start, milliseconds(5600));
  EXPECT_EQ(host->Look().counts.timerExpiries, 0u);
  EXPECT_TRUE(radio.Image() == image);
}

}  // namespace
}  // namespace vannor::e2e
