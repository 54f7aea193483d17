// How exchanges end: wrong bytes, time-outs, the version read and its once-only rule, and how
// received bytes are read from the port.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

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
  void StartUpdate(const Bytes& image) {
    host.chosenPath = files.Write("dsp.out", image);
    host.ClickUpdate(*engine);
  }
  // The bytes arrive together, in one notification.
  void Answer(const Bytes& bytes) {
    host.Receive(bytes);
    engine->OnCommNotify();
  }
  // Each byte arrives on its own, after what went before was answered.
  void AnswerEach(const Bytes& bytes) {
    for (std::uint8_t byte : bytes) Answer({byte});
  }
  // After a failure: Idle, timer stopped, nothing more sent, later bytes ignored.
  void ExpectFailedAndDead() {
    EXPECT_EQ(host.messages, kCommError);
    EXPECT_EQ(engine->State().protocolState, ProtocolState::Idle);
    EXPECT_FALSE(host.timerRunning);
    const std::size_t written = host.writes.size();
    Answer({ACK, ACK, 0x00, 0x01, 0xFF});
    engine->OnTimer();
    EXPECT_EQ(host.writes.size(), written);
    EXPECT_EQ(host.messages, kCommError);
  }

  FakeEngineHost host;
  std::unique_ptr<ProtocolEngine> engine = host.MakeEngine();
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
    engine = host.MakeEngine();
    host = FakeEngineHost();
    StartUpdate(image);
    AnswerEach({ACK, ACK});
    for (std::size_t i = 0; i < bad; ++i) Answer({image[i]});
    Answer({static_cast<std::uint8_t>(image[bad] ^ 0x80)});
    EXPECT_EQ(engine->State().sendIndex, bad);
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
    engine = host.MakeEngine();
    host = FakeEngineHost();
    if (s.versionRead) {
      host.ClickVerRead(*engine);
    } else {
      StartUpdate(image);
    }
    AnswerEach(s.answers);
    ASSERT_TRUE(host.timerRunning);
    engine->OnTimer();
    ExpectFailedAndDead();
  }
}

TEST_F(ExchangeEndTest, TimerRestartsAtEachSendAndAcceptedByte) {
  StartUpdate({0x01, 0x02});
  EXPECT_EQ(host.timerStarts, 2);  // the quiet period, then the request's time-out
  EXPECT_EQ(host.timerPeriod, RESPONSE_TIMEOUT_MS);
  Answer({ACK});
  EXPECT_EQ(host.timerStarts, 3);
  Answer({ACK});
  EXPECT_EQ(host.timerStarts, 4);
  Answer({0x01});
  EXPECT_EQ(host.timerStarts, 5);
  Answer({0x02});
  EXPECT_EQ(host.timerStarts, 5);
  EXPECT_FALSE(host.timerRunning);

  // A Ver Read's reply: at each of its bytes but the last.
  host = FakeEngineHost();
  engine = host.MakeEngine();
  host.ClickVerRead(*engine);
  EXPECT_EQ(host.timerStarts, 2);
  for (const int starts : {3, 4, 5}) {
    Answer({0x01});
    EXPECT_EQ(host.timerStarts, starts);
    EXPECT_EQ(host.timerPeriod, RESPONSE_TIMEOUT_MS);
  }
  Answer({0x01});
  EXPECT_EQ(host.timerStarts, 5);
  EXPECT_FALSE(host.timerRunning);
}

// A process that was stopped wakes to the expiry and the answer at once: the answer wins.
TEST_F(ExchangeEndTest, AnAnswerWaitingAtTheExpiryIsTakenFirst) {
  StartUpdate({0x01, 0x02});
  for (const Bytes& waiting : {Bytes{ACK}, Bytes{ACK}, Bytes{0x01}, Bytes{0x02}}) {
    host.Receive(waiting);
    EXPECT_FALSE(engine->OnTimer());  // the expiry does not count
  }
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_COMPLETION)});
}

TEST_F(ExchangeEndTest, LateExpiryAfterCompletionIsNotAnError) {
  StartUpdate({0x01});
  AnswerEach({ACK, ACK, 0x01});
  EXPECT_FALSE(engine->OnTimer());  // queued before the stop
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_COMPLETION)});
}

TEST_F(ExchangeEndTest, VersionReadInOneNotification) {
  host.Receive({0x42, 0x43});  // left over from before: never taken for the reply
  host.ClickVerRead(*engine);
  EXPECT_EQ(host.discards, 1);
  EXPECT_EQ(host.AllWritten(), Bytes{0x56});
  EXPECT_EQ(engine->State().protocolState, ProtocolState::AwaitVersion1);
  EXPECT_TRUE(host.timerRunning);
  Answer({1, 3, 2, 0});
  EXPECT_EQ(host.labels[Label::VersionDsp1], "V01.03");
  EXPECT_EQ(host.labels[Label::VersionDsp2], "V02.00");
  ASSERT_EQ(host.outcomes.size(), 1u);
  EXPECT_EQ(host.outcomes[0].kind, Outcome::VersionsRead);
  EXPECT_EQ(Bytes(host.outcomes[0].versions, host.outcomes[0].versions + 4), (Bytes{1, 3, 2, 0}));
  EXPECT_EQ(engine->State().protocolState, ProtocolState::Idle);
  EXPECT_FALSE(host.timerRunning);
  EXPECT_TRUE(host.messages.empty());

  host.ClickVerRead(*engine);
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_ONLY_ONCE)});
  EXPECT_EQ(host.writes.size(), 1u);
}

TEST_F(ExchangeEndTest, VersionBytesBeyondTheTableShowInDecimal) {
  host.ClickVerRead(*engine);
  Answer({100, 101, 255, 9});
  EXPECT_EQ(host.labels[Label::VersionDsp1], "V100.101");
  EXPECT_EQ(host.labels[Label::VersionDsp2], "V255.09");
}

TEST_F(ExchangeEndTest, VerReadAfterAnUpdateRequestIsRefusedAndTheTransferGoesOn) {
  StartUpdate({0x01, 0x02});
  Answer({ACK});
  host.ClickVerRead(*engine);
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_ONLY_ONCE)});
  EXPECT_EQ(host.AllWritten(), (Bytes{0x57, 0x0F, ENQ}));
  Answer({ACK});
  Answer({0x01});
  Answer({0x02});
  EXPECT_EQ(host.messages.back(), MSG_COMPLETION);
}

// Only a request that went out on an open port makes a later Ver Read " Only once ... ": an
// exchange that ended before its request, or whose request met no port, reached no radio.
TEST_F(ExchangeEndTest, VerReadIsRefusedOnlyAfterARequestWentOut) {
  struct Row {
    const char* what;
    std::function<void()> endWithoutRequest;
  };
  const Row rows[] = {
      {"an Update that ended in its quiet wait",
       [&] {
         host.quietLine = false;
         StartUpdate({0x01});
         while (engine->Busy()) {
           host.Receive({0x7E});
           host.Expire(*engine);
         }
       }},
      {"a hang-up during the quiet wait",
       [&] {
         host.quietLine = false;
         host.ClickVerRead(*engine);
         host.portFailed = true;
         engine->OnTimer();
       }},
      {"a Ver Read with no port open",
       [&] {
         host.portUsable = false;
         host.ClickVerRead(*engine);
         EXPECT_EQ(host.timerPeriod, RESPONSE_TIMEOUT_MS);
         engine->OnTimer();
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    host = FakeEngineHost();
    engine = host.MakeEngine();
    row.endWithoutRequest();
    EXPECT_EQ(host.messages, kCommError);
    EXPECT_TRUE(host.writes.empty());
    host = FakeEngineHost();  // a port that opens, on the same link
    host.ClickVerRead(*engine);
    EXPECT_EQ(host.AllWritten(), Bytes{VERSION_COMMAND});
    EXPECT_TRUE(host.messages.empty());
  }
}

TEST_F(ExchangeEndTest, ReadsNeverExceedTheChunkOrWhatIsWaiting) {
  host.ClickVerRead(*engine);
  host.pendingAnswers.clear();  // the quiet period's look at the line
  Bytes burst(250, 0x07);
  Answer(burst);
  EXPECT_EQ(host.pendingAnswers, std::vector<std::size_t>{250});
  EXPECT_EQ(host.readRequests, (std::vector<std::size_t>{100, 100, 50}));
  EXPECT_EQ(host.maxReadOverPending, 0u);
  EXPECT_TRUE(host.incoming.empty());
  EXPECT_EQ(host.labels[Label::VersionDsp1], "V07.07");

  host.readRequests.clear();
  engine->OnCommNotify();  // a notification that finds nothing does nothing
  EXPECT_TRUE(host.readRequests.empty());

  host.portUsable = false;
  host.Receive({1});
  host.pendingAnswers.clear();
  engine->OnCommNotify();
  EXPECT_TRUE(host.pendingAnswers.empty());
}

// Bytes that were already waiting when an image byte went out cannot be its echo: a radio that
// echoes twice (or one that sends the image back unasked) must not pass for a good one.
TEST_F(ExchangeEndTest, ABurstOfEchoesAheadOfTheirBytesIsAnError) {
  StartUpdate({0x00, 0x00, 0x00});
  AnswerEach({ACK, ACK});
  Answer({0x00, 0x00});  // byte 0's echo, twice
  EXPECT_EQ(host.AllWritten(), (Bytes{0x57, 0x0F, ENQ, 0x00, 0x00}));
  ASSERT_EQ(host.outcomes.size(), 1u);
  EXPECT_EQ(host.outcomes[0].failure.cause, FailureCause::ExtraByte);
  EXPECT_EQ(host.outcomes[0].failure.byteIndex, 1u);
  ExpectFailedAndDead();
}

// A request waits for a line on which nothing has come for a whole quiet period; what comes
// meanwhile is dropped, never taken for the answer.
TEST_F(ExchangeEndTest, ARequestGoesOutOnlyOnAQuietLine) {
  host.quietLine = false;
  host.ClickVerRead(*engine);
  EXPECT_EQ(host.discards, 1);
  EXPECT_TRUE(host.writes.empty());
  EXPECT_TRUE(engine->AwaitingQuietLine());
  EXPECT_TRUE(engine->Busy());
  EXPECT_EQ(host.timerPeriod, QUIET_TIME_MS);
  Answer({1, 3, 2, 0});  // not the answer: nothing was asked yet
  EXPECT_TRUE(host.incoming.empty());
  host.Receive({0x42});  // still talking when the period ends
  host.Expire(*engine);
  EXPECT_TRUE(host.writes.empty());
  EXPECT_TRUE(host.timerRunning);
  EXPECT_EQ(host.timerPeriod, QUIET_TIME_MS);
  // A timer that comes a millisecond early (a coarse host timer) waits out the rest.
  host.clock = host.timerDue - std::chrono::milliseconds(1);
  engine->OnTimer();
  EXPECT_TRUE(host.writes.empty());
  EXPECT_EQ(host.timerPeriod, 1);
  host.Expire(*engine);  // a whole period without a byte
  EXPECT_EQ(host.AllWritten(), Bytes{VERSION_COMMAND});
  EXPECT_FALSE(engine->AwaitingQuietLine());
  EXPECT_EQ(host.timerPeriod, RESPONSE_TIMEOUT_MS);
  Answer({5, 6, 7, 8});
  EXPECT_EQ(host.labels[Label::VersionDsp1], "V05.06");
  EXPECT_EQ(host.labels[Label::VersionDsp2], "V07.08");

  // Behind a USB adapter that holds bytes back for 16 ms a quiet period outlasts that hold.
  host = FakeEngineHost();
  engine = host.MakeEngine();
  host.quietLine = false;
  host.holdBackMs = 16;
  StartUpdate({0x01});
  EXPECT_EQ(host.timerPeriod, 16 + QUIET_TIME_MS);
  EXPECT_FALSE(engine->LeavesDspUnfinished());  // nothing has gone out yet
  host.Receive({ACK});
  host.Expire(*engine);
  EXPECT_EQ(host.timerPeriod, 16 + QUIET_TIME_MS);
  EXPECT_TRUE(host.writes.empty());
  host.Expire(*engine);
  EXPECT_EQ(host.AllWritten(), (Bytes{WRITE_COMMAND, 0x0F}));
  EXPECT_TRUE(engine->LeavesDspUnfinished());
}

// A radio that never stops talking unasked gets no request: the exchange ends once it has
// talked for UNASKED_LIMIT_MS by the clock, however long the host's timer takes to tick (here
// 16 ms, as Windows' does), for a write as for a version read.
TEST_F(ExchangeEndTest, ARadioThatSendsUnaskedGetsNoRequest) {
  for (bool write : {true, false}) {
    SCOPED_TRACE(write ? "write" : "version read");
    host = FakeEngineHost();
    engine = host.MakeEngine();
    host.quietLine = false;
    if (write) {
      StartUpdate({0x01});
    } else {
      host.ClickVerRead(*engine);
    }
    const EngineClock::time_point start = host.clock;
    int ticks = 0;
    while (engine->Busy() && ticks < 1000) {
      host.Receive({ACK, ACK});
      host.clock += std::chrono::milliseconds(16);
      engine->OnTimer();
      ++ticks;
    }
    EXPECT_EQ(host.clock - start, std::chrono::milliseconds(1008));  // the first tick past 1 s
    EXPECT_TRUE(host.writes.empty());
    ASSERT_EQ(host.outcomes.size(), 1u);
    EXPECT_EQ(host.outcomes[0].failure.cause, FailureCause::UnaskedBytes);
    EXPECT_EQ(host.outcomes[0].failure.received, ACK);
    EXPECT_FALSE(engine->AwaitingQuietLine());
    ExpectFailedAndDead();
  }
}

// The echo of the last image byte completes: every byte is confirmed, and what follows it, in
// its burst or while it is read, belongs to no exchange; the next request's flush takes it.
TEST_F(ExchangeEndTest, TheLastMatchingEchoCompletes) {
  struct Row {
    const char* what;
    Bytes lastBurst;
    Bytes arrivingDuringRead;
  };
  for (const Row& row :
       {Row{"the last echo alone", {0x02}, {}}, Row{"the last echo twice", {0x02, 0x02}, {}},
        Row{"a byte of the radio's own", {0x02, 0xEE}, {}},
        Row{"a byte that comes while the echo is read", {0x02}, {0xEE}}}) {
    SCOPED_TRACE(row.what);
    host = FakeEngineHost();
    engine = host.MakeEngine();
    StartUpdate({0x01, 0x02});
    AnswerEach({ACK, ACK, 0x01});
    host.arrivingDuringRead = row.arrivingDuringRead;
    Answer(row.lastBurst);
    EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_COMPLETION)});
    EXPECT_EQ(engine->State().sendIndex, 2u);
    EXPECT_EQ(host.maxReadOverPending, 0u);
    StartUpdate({0x03});
    EXPECT_EQ(host.discards, 2);
    EXPECT_EQ(host.writes.back(), (Bytes{WRITE_COMMAND, 0x0F}));
  }
}

// What a trace or the command line learns of a failure: the step, the byte and what came.
TEST_F(ExchangeEndTest, FailuresAreDescribedWithTheStepAndTheByte) {
  struct Recorder final : ExchangeObserver {
    void OnRequest(const std::uint8_t*, std::size_t count) override { requests += count; }
    void OnAcknowledged(ProtocolState) override { ++acks; }
    void OnProgress(std::uint32_t confirmed, std::uint32_t) override { last = confirmed; }
    void OnEnded(const ExchangeOutcome& outcome) override {
      if (outcome.kind == Outcome::CommunicationError) {
        failures.push_back(DescribeFailure(outcome.failure));
      } else {
        ++ends;
      }
    }
    std::size_t requests = 0;
    int acks = 0, ends = 0;
    std::uint32_t last = 0;
    std::vector<std::string> failures;
  } seen, again;
  // Each scenario on a fresh link, all followed by both observers.
  auto fresh = [&] {
    auto link = host.MakeEngine();
    EXPECT_TRUE(link->AddObserver(&seen));
    EXPECT_TRUE(link->AddObserver(&again));
    return link;
  };
  auto link = fresh();
  host.chosenPath = files.Write("a.out", {0x11, 0x22, 0x33});
  host.ClickUpdate(*link);
  for (std::uint8_t byte : {ACK, ACK, std::uint8_t{0x11}, std::uint8_t{0x99}}) {
    host.Receive({byte});
    link->OnCommNotify();
  }
  link = fresh();
  host.ClickUpdate(*link);
  link->OnTimer();
  link = fresh();
  host.ClickVerRead(*link);
  host.Receive({1, 2});
  link->OnCommNotify();
  link->OnTimer();
  link = fresh();
  host.ClickUpdate(*link);
  host.portFailed = true;
  link->OnTimer();
  host.portFailed = false;
  host.portUsable = true;  // the adapter plugged back in
  link = fresh();
  host.ClickUpdate(*link);
  for (std::uint8_t byte : {ACK, ACK, std::uint8_t{0x11}, std::uint8_t{0x22}}) {
    host.Receive({byte});
    link->OnCommNotify();
  }
  host.Receive({0x33, 0x33});
  link->OnCommNotify();
  link = fresh();
  host.quietLine = false;
  host.ClickUpdate(*link);
  while (link->Busy()) {
    host.Receive({0x7E});
    host.Expire(*link);
  }
  EXPECT_EQ(seen.requests, 2u + 2u + 1u + 2u + 2u);
  EXPECT_EQ(seen.acks, 4);
  EXPECT_EQ(seen.last, 3u);
  EXPECT_EQ(seen.ends, 1);  // a last echo with a byte behind it completes
  EXPECT_EQ(
      seen.failures,
      (std::vector<std::string>{
          "wrong answer while awaiting the echo of an image byte (byte 2 of 3, 0x22): got 0x99",
          "no answer within 5 s while awaiting the ACK of the write request",
          "no answer within 5 s while awaiting the version reply (2 of 4 bytes came)",
          "the port failed while awaiting the ACK of the write request",
          "the radio sends without being asked: bytes kept coming for 1 s, so the write "
          "request was not sent (last 0x7E)"}));
  EXPECT_EQ(again.failures, seen.failures);
  EXPECT_EQ(host.closes, 1);  // the failed port, at once
}

}  // namespace
}  // namespace vannor::test
