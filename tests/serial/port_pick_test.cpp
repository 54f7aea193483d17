// A pick in the port list, through the Link every program uses, on real pseudo-terminals: two
// radios, what a reopen keeps, and what a pick does to an exchange that runs.
#include <gtest/gtest.h>

#include <chrono>

#include "protocol/link.h"
#include "testing/memory_image.h"
#include "tests/serial/serial_test_support.h"

namespace vannor::test {
namespace {

class PortPickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(first.Ok() && second.Ok());
    ASSERT_TRUE(map.Map(0, first.SlavePath()));
    ASSERT_TRUE(map.Map(1, second.SlavePath()));
    ASSERT_TRUE(map.Map(4, map.Folder() + "/no-such-port"));
    ASSERT_TRUE(link.OpenPort(0));
  }

  int Pick(int index) { return link.OnPortPicked(index, host); }
  Line& line() { return link.SerialLine(); }
  // The radio's bytes reach the link as the event loop would hand them over.
  void Deliver() {
    ASSERT_TRUE(WaitReadable(PortHandleOf(line())));
    link.OnPortReady();
  }
  // Starts a write of two bytes and takes it to the engine's `Sending`.
  void StartWriteOnFirst() {
    link.StartUpdate(0x0F, testkit::MemoryImage(image));
    PassQuietPeriod(link);
    ASSERT_EQ(first.Read(2), (Bytes{WRITE_COMMAND, 0x0F}));
    ASSERT_TRUE(first.Write({ACK}));
    Deliver();
    ASSERT_EQ(first.Read(1), Bytes{ENQ});
  }

  const Bytes image{0xAA, 0xBB};
  PortMap map;
  FarEnd first;
  FarEnd second;
  TestLoop loop;
  PickingHost host{loop};
  Link link{host, "vannor", false, MakePortBackend()};
};

TEST_F(PortPickTest, ToAnotherPortClosesTheOldOneAndOpensTheNew) {
  const int before = OpenDescriptorCount();
  EXPECT_EQ(Pick(1), 1);
  EXPECT_TRUE(PortIs(line(), second.SlavePath()));
  EXPECT_TRUE(PortIsFree(first.SlavePath()));
  EXPECT_EQ(host.notUsableShown, 0);
  EXPECT_EQ(host.questions, 0);
  EXPECT_EQ(link.PortLabel(), "COM2");
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(PortPickTest, ToThePortAlreadyOpenReopensItSilently) {
  // Bytes that wait in the terminal survive the reopen; the engine reads them afterwards.
  ASSERT_TRUE(first.Write({0x06}));
  // Marks the open file itself (not the descriptor number, which may come again): a fresh
  // open has no owner.
  ASSERT_EQ(fcntl(PortHandleOf(line()), F_SETOWN, getpid()), 0);
  EXPECT_EQ(Pick(0), 0);
  EXPECT_EQ(fcntl(PortHandleOf(line()), F_GETOWN), 0);
  EXPECT_EQ(host.notUsableShown, 0);
  EXPECT_TRUE(host.outcomes.empty());
  EXPECT_TRUE(PortIs(line(), first.SlavePath()));
  ASSERT_TRUE(WaitReadable(PortHandleOf(line())));
  std::uint8_t byte = 0;
  EXPECT_EQ(line().Read(&byte, 1), 1u);
  EXPECT_EQ(byte, 0x06);
}

TEST_F(PortPickTest, WhenNeitherPortOpensNoPortIsOpenAndThePreviousOneStaysInUse) {
  ASSERT_EQ(Pick(1), 1);
  second.HangUp();  // the adapter behind COM2 is unplugged: its device disappears
  const int before = OpenDescriptorCount();
  EXPECT_EQ(Pick(4), 1);
  EXPECT_EQ(host.notUsableShown, 1);
  EXPECT_EQ(PortHandleOf(line()), NO_DESCRIPTOR);
  EXPECT_EQ(OpenDescriptorCount(), before - 1);
  // A later pick of a working port works again.
  EXPECT_EQ(Pick(0), 0);
  EXPECT_TRUE(PortIs(line(), first.SlavePath()));
}

TEST_F(PortPickTest, APickOutsideTheListKeepsThePortInUseSilently) {
  ASSERT_EQ(Pick(1), 1);
  for (int none : {-1, 10, 1000, -1000}) {
    EXPECT_EQ(Pick(none), 1) << none;
    EXPECT_EQ(host.notUsableShown, 0) << none;
    EXPECT_TRUE(PortIs(line(), second.SlavePath())) << none;
  }
}

// During an Update every pick asks; No keeps the port and the transfer, Yes ends the exchange
// with a communication error before the port changes, so no byte of it reaches the new port; a
// pick that fails ends it as well, before the user hears of the failure.
TEST_F(PortPickTest, APickDuringAnUpdateAsksAndNeverLeavesItSilently) {
  for (const int picked : {0, 1, 4}) {
    SCOPED_TRACE(picked == 0   ? "the open port again"
                 : picked == 1 ? "another port"
                               : "a failed pick");
    const int inUse = picked == 4 ? 0 : picked;
    ASSERT_EQ(Pick(0), 0);
    host.outcomes.clear();
    StartWriteOnFirst();
    host.leaveUpdate = false;
    const int asked = host.questions;
    EXPECT_EQ(Pick(picked), 0);
    EXPECT_EQ(host.questions, asked + 1);
    EXPECT_TRUE(host.outcomes.empty());
    EXPECT_EQ(link.State().protocolState, ProtocolState::AwaitStartAck);
    ASSERT_TRUE(link.Deadline().has_value());

    host.leaveUpdate = true;
    EXPECT_EQ(Pick(picked), inUse);
    EXPECT_EQ(host.outcomesWhenToldNotUsable, picked == 4 ? 1u : 0u);
    ASSERT_EQ(host.outcomes.size(), 1u);
    EXPECT_EQ(host.outcomes[0].kind, Outcome::CommunicationError);
    EXPECT_EQ(host.outcomes[0].failure.cause, FailureCause::PortChanged);
    EXPECT_EQ(link.State().protocolState, ProtocolState::Idle);
    EXPECT_FALSE(link.Deadline().has_value());
    // The radio's late answer finds nothing awaited, and nothing more goes out.
    FarEnd& now = inUse == 0 ? first : second;
    ASSERT_TRUE(now.Write({ACK}));
    Deliver();
    EXPECT_TRUE(now.Read(1, 100ms).empty());
    EXPECT_EQ(host.outcomes.size(), 1u);
  }
}

// A host's wait that ends with both the answer and the deadline: the answer is read first and
// moves the deadline on; without it the deadline falls. The wait's time-out never ends short.
TEST_F(PortPickTest, AnAnswerThatCameWithTheDeadlineWinsOverIt) {
  StartWriteOnFirst();
  const LinkClock::time_point due = *link.Deadline();
  EXPECT_EQ(link.MillisecondsToDeadline(due - std::chrono::microseconds(4300)), 5);
  EXPECT_EQ(link.MillisecondsToDeadline(due + std::chrono::milliseconds(1)), 0);
  ASSERT_TRUE(first.Write({ACK}));
  ASSERT_TRUE(WaitReadable(PortHandleOf(line())));
  EXPECT_FALSE(link.Service(true, due));
  EXPECT_EQ(first.Read(1), Bytes{0xAA});
  EXPECT_TRUE(host.outcomes.empty());
  EXPECT_TRUE(link.Service(false, *link.Deadline()));
  ASSERT_EQ(host.outcomes.size(), 1u);
  EXPECT_EQ(host.outcomes[0].kind, Outcome::CommunicationError);
  EXPECT_EQ(link.MillisecondsToDeadline(due), -1);
}

// A radio that talks unasked without a pause: every wake of a host's loop finds the port ready,
// and the deadline of the wait for a quiet line falls all the same. The request never goes out,
// and the exchange ends once the radio has talked unasked for its second.
TEST_F(PortPickTest, ARadioThatNeverStopsTalkingEndsTheRequestUnsent) {
  link.OnVerReadClicked();
  const LinkClock::time_point clicked = LinkClock::now();
  while (host.outcomes.empty() && LinkClock::now() - clicked < std::chrono::seconds(10)) {
    ASSERT_TRUE(first.Write({ACK}));
    ASSERT_TRUE(WaitReadable(PortHandleOf(line())));
    // The wake's time is taken before its read: the byte it reads is never older than the wake.
    (void)link.Service(true, LinkClock::now());
  }
  ASSERT_EQ(host.outcomes.size(), 1u);
  EXPECT_EQ(host.outcomes[0].failure.cause, FailureCause::UnaskedBytes);
  EXPECT_GE(LinkClock::now() - clicked, std::chrono::milliseconds(UNASKED_LIMIT_MS));
  EXPECT_TRUE(first.Read(1, 100ms).empty());
}

}  // namespace
}  // namespace vannor::test
