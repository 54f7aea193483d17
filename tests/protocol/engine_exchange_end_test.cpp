// How exchanges end: wrong bytes, time-outs, the version read and its once-only rule, and how
// received bytes are read from the port.
#include <gtest/gtest.h>

#include "protocol/exchange_trace.h"
#include "protocol/link_state.h"
#include "protocol/messages.h"
#include "protocol/protocol_engine.h"
#include "testing/temp_dir.h"
#include "tests/protocol/fake_engine_host.h"

namespace vannor::test {
namespace {

const std::vector<std::string> kCommError = {std::string(MSG_COMMUNICATION_ERROR)};

class ExchangeEndTest : public ::testing::Test {
 protected:
  void SetUp() override { engine.State() = LinkState{}; }

  void StartUpdate(const Bytes& image) {
    host.chosenPath = files.Write("dsp.out", image);
    engine.OnUpdateClicked();
  }
  void Answer(const Bytes& bytes) {
    host.Receive(bytes);
    engine.OnCommNotify();
  }
  // After a failure: Idle, timer stopped, nothing more sent, later bytes ignored.
  void ExpectFailedAndDead() {
    EXPECT_EQ(host.messages, kCommError);
    EXPECT_EQ(engine.State().protocolState, ProtocolState::Idle);
    EXPECT_FALSE(host.timerRunning);
    const std::size_t written = host.writes.size();
    Answer({ACK, ACK, 0x00, 0x01, 0xFF});
    engine.OnTimer();
    EXPECT_EQ(host.writes.size(), written);
    EXPECT_EQ(host.messages, kCommError);
  }

  FakeEngineHost host;
  ProtocolEngine engine{host, host};
  TempDir files;
};

TEST_F(ExchangeEndTest, NakInsteadOfFirstAckDropsTheRestOfTheChunk) {
  StartUpdate({0x11, 0x22});
  Answer({0x15, ACK, ACK});
  EXPECT_EQ(host.writes.size(), 1u);
  EXPECT_TRUE(host.incoming.empty());  // the rest was read away, not left for a later exchange
  ExpectFailedAndDead();
}

TEST_F(ExchangeEndTest, NakInsteadOfSecondAck) {
  StartUpdate({0x11, 0x22});
  Answer({ACK});
  Answer({0x15});
  EXPECT_EQ(host.AllWritten(), (Bytes{0x57, 0x0F, ENQ}));
  ExpectFailedAndDead();
}

TEST_F(ExchangeEndTest, WrongEchoAtFirstMiddleAndLastByte) {
  const Bytes image = {0x10, 0x20, 0x30, 0x40, 0x50};
  for (std::size_t bad : {std::size_t{0}, std::size_t{2}, std::size_t{4}}) {
    SCOPED_TRACE(bad);
    engine.State() = LinkState{};
    host = FakeEngineHost();
    StartUpdate(image);
    Answer({ACK, ACK});
    for (std::size_t i = 0; i < bad; ++i) Answer({image[i]});
    Answer({static_cast<std::uint8_t>(image[bad] ^ 0x80)});
    EXPECT_EQ(engine.State().sendIndex, bad);
    EXPECT_EQ(host.writes.size(), 3u + bad);  // request, ENQ, and the bytes up to the bad one
    ExpectFailedAndDead();
  }
}

TEST_F(ExchangeEndTest, TimeOutInEveryWaitingState) {
  struct Step {
    const char* name;
    Bytes answers;
    bool versionRead;
  };
  const Bytes image = {0x01, 0x02, 0x03};
  for (const Step& s :
       {Step{"command ack", {}, false}, Step{"start ack", {ACK}, false},
        Step{"first echo", {ACK, ACK}, false}, Step{"middle echo", {ACK, ACK, 0x01}, false},
        Step{"last echo", {ACK, ACK, 0x01, 0x02}, false}, Step{"version 1", {}, true},
        Step{"version 2", {1}, true}, Step{"version 4", {1, 2, 3}, true}}) {
    SCOPED_TRACE(s.name);
    engine.State() = LinkState{};
    host = FakeEngineHost();
    if (s.versionRead) {
      engine.OnVerReadClicked();
    } else {
      StartUpdate(image);
    }
    Answer(s.answers);
    ASSERT_TRUE(host.timerRunning);
    engine.OnTimer();
    ExpectFailedAndDead();
  }
}

TEST_F(ExchangeEndTest, TimerRestartsAtEachSendAndAcceptedByte) {
  StartUpdate({0x01, 0x02});
  EXPECT_EQ(host.timerStarts, 1);
  Answer({ACK});
  EXPECT_EQ(host.timerStarts, 2);
  Answer({ACK});
  EXPECT_EQ(host.timerStarts, 3);
  Answer({0x01});
  EXPECT_EQ(host.timerStarts, 4);
  Answer({0x02});
  EXPECT_EQ(host.timerStarts, 4);
  EXPECT_FALSE(host.timerRunning);
}

TEST_F(ExchangeEndTest, LateExpiryAfterCompletionIsNotAnError) {
  StartUpdate({0x01});
  Answer({ACK, ACK, 0x01});
  engine.OnTimer();  // queued before the stop
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_COMPLETION)});
}

TEST_F(ExchangeEndTest, VersionReadInOneNotification) {
  engine.OnVerReadClicked();
  EXPECT_EQ(host.AllWritten(), Bytes{0x56});
  EXPECT_EQ(engine.State().protocolState, ProtocolState::AwaitVersion1);
  EXPECT_TRUE(host.timerRunning);
  Answer({1, 3, 2, 0});
  EXPECT_EQ(host.labels[Label::VersionDsp1], "V01.03");
  EXPECT_EQ(host.labels[Label::VersionDsp2], "V02.00");
  EXPECT_EQ(engine.State().versionBytes[4], 1);
  EXPECT_EQ(engine.State().versionBytes[5], 3);
  EXPECT_EQ(engine.State().versionBytes[0], 2);
  EXPECT_EQ(engine.State().versionBytes[1], 0);
  EXPECT_EQ(engine.State().protocolState, ProtocolState::Idle);
  EXPECT_FALSE(host.timerRunning);
  EXPECT_TRUE(host.messages.empty());

  engine.OnVerReadClicked();
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_ONLY_ONCE)});
  EXPECT_EQ(host.writes.size(), 1u);
}

TEST_F(ExchangeEndTest, VersionBytesBeyondTheTableShowInDecimal) {
  engine.OnVerReadClicked();
  Answer({100, 101, 255, 9});
  EXPECT_EQ(host.labels[Label::VersionDsp1], "V100.101");
  EXPECT_EQ(host.labels[Label::VersionDsp2], "V255.09");
}

TEST_F(ExchangeEndTest, VerReadAfterAnUpdateRequestIsRefusedAndTheTransferGoesOn) {
  StartUpdate({0x01, 0x02});
  Answer({ACK});
  engine.OnVerReadClicked();
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_ONLY_ONCE)});
  EXPECT_EQ(host.AllWritten(), (Bytes{0x57, 0x0F, ENQ}));
  Answer({ACK, 0x01, 0x02});
  EXPECT_EQ(host.messages.back(), MSG_COMPLETION);
}

TEST_F(ExchangeEndTest, ReadsNeverExceedTheChunkOrWhatIsWaiting) {
  engine.OnVerReadClicked();
  Bytes burst(250, 0x07);
  Answer(burst);
  EXPECT_EQ(host.pendingAnswers, std::vector<std::size_t>{250});
  EXPECT_EQ(host.readRequests, (std::vector<std::size_t>{100, 100, 50}));
  EXPECT_EQ(host.maxReadOverPending, 0u);
  EXPECT_TRUE(host.incoming.empty());
  EXPECT_EQ(host.labels[Label::VersionDsp1], "V07.07");

  host.readRequests.clear();
  engine.OnCommNotify();  // a notification that finds nothing does nothing
  EXPECT_TRUE(host.readRequests.empty());

  host.portUsable = false;
  host.Receive({1});
  host.pendingAnswers.clear();
  engine.OnCommNotify();
  EXPECT_TRUE(host.pendingAnswers.empty());
}

TEST_F(ExchangeEndTest, WholeImageInOneBurstOfEchoes) {
  // A radio that answers faster than notifications arrive: everything is in one queue.
  Bytes image(230);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i);
  StartUpdate(image);
  Bytes all = {ACK, ACK};
  all.insert(all.end(), image.begin(), image.end());
  Answer(all);
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_COMPLETION)});
  EXPECT_EQ(engine.State().sendIndex, image.size());
}

// What a trace or the command line learns of a failure: the step, the byte and what came.
TEST_F(ExchangeEndTest, FailuresAreDescribedWithTheStepAndTheByte) {
  struct Recorder final : ExchangeObserver {
    void OnRequest(const std::uint8_t*, std::size_t count) override { requests += count; }
    void OnAcknowledged(ProtocolState) override { ++acks; }
    void OnProgress(std::uint32_t confirmed, std::uint32_t) override { last = confirmed; }
    void OnCompleted() override { ++completions; }
    void OnFailed(const ExchangeFailure& f) override { failures.push_back(DescribeFailure(f)); }
    std::size_t requests = 0;
    int acks = 0, completions = 0;
    std::uint32_t last = 0;
    std::vector<std::string> failures;
  } seen;
  engine.SetObserver(&seen);
  StartUpdate({0x11, 0x22, 0x33});
  Answer({ACK, ACK, 0x11, 0x99});
  engine.State() = LinkState{};
  StartUpdate({0x11});
  engine.OnTimer();
  engine.State() = LinkState{};
  engine.OnVerReadClicked();
  Answer({1, 2});
  engine.OnTimer();
  StartUpdate({0x44});
  Answer({ACK, ACK, 0x44});
  EXPECT_EQ(seen.requests, 2u + 2u + 1u + 2u);
  EXPECT_EQ(seen.acks, 4);
  EXPECT_EQ(seen.last, 1u);
  EXPECT_EQ(seen.completions, 1);
  EXPECT_EQ(
      seen.failures,
      (std::vector<std::string>{
          "wrong answer while awaiting the echo of an image byte (byte 2 of 3, 0x22): got 0x99",
          "no answer within 5 s while awaiting the ACK of the write request",
          "no answer within 5 s while awaiting the version reply (2 of 4 bytes came)"}));
}

}  // namespace
}  // namespace vannor::test
