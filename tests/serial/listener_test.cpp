// The listener on real pseudo-terminals: what it posts, and that it sleeps while nothing new
// arrives.
#include "serial/posix/listener.h"

#include <gtest/gtest.h>

#include <atomic>

#include "protocol/messages.h"
#include "protocol/protocol_engine.h"
#include "serial/port_switch.h"
#include "tests/serial/listener_fixture.h"

namespace vannor::test {
namespace {

// A spinning listener uses the whole 200 ms; a sleeping one a few microseconds.
constexpr auto kIdleWindow = 200ms;
constexpr auto kIdleCpuLimit = 10ms;

class ListenerTest : public ListenerFixture {
 protected:
  void SetUp() override {
    ListenerFixture::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(other.Ok());
    ASSERT_TRUE(map.Map(1, other.SlavePath()));
  }

  std::chrono::nanoseconds CpuOver(std::chrono::milliseconds window) {
    const auto before = line.ListenerCpuTime();
    std::this_thread::sleep_for(window);
    const auto after = line.ListenerCpuTime();
    EXPECT_GE(before.count(), 0);
    return after - before;
  }

  // Lets the listener finish with what just happened and block in its next wait, so that an
  // idle measurement after it counts only the idling.
  void Settle() { std::this_thread::sleep_for(20ms); }

  FarEnd other;
};

TEST_F(ListenerTest, ArrivingBytesAreNotified) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  EXPECT_TRUE(line.ListenerRunning());
  ASSERT_TRUE(radio.Write({0x06}));
  EXPECT_TRUE(target.WaitForCount(1));
}

TEST_F(ListenerTest, ABurstGivesAtLeastOneAndAtMostOneNotificationPerArrival) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  constexpr int kArrivals = 200;
  for (int i = 0; i < kArrivals; ++i) {
    ASSERT_TRUE(radio.Write({static_cast<std::uint8_t>(i)}));
  }
  ASSERT_TRUE(target.WaitForCount(1));
  // Nobody reads: the bytes stay waiting, and a level-triggered wait would post on and on.
  std::this_thread::sleep_for(100ms);
  EXPECT_LE(target.Count(), kArrivals);
  EXPECT_EQ(line.PendingCount(), static_cast<std::size_t>(kArrivals));
}

TEST_F(ListenerTest, UnreadBytesDoNotKeepTheListenerBusy) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  ASSERT_TRUE(radio.Write(Bytes(1000, 0x55)));
  ASSERT_TRUE(target.WaitForCount(1));
  Settle();
  const int posts = target.Count();
  const auto used = CpuOver(kIdleWindow);
  EXPECT_LT(used, kIdleCpuLimit);
  EXPECT_EQ(target.Count(), posts);
  EXPECT_EQ(line.PendingCount(), 1000u);
}

TEST_F(ListenerTest, WithNoPortOpenTheListenerSleeps) {
  ASSERT_EQ(line.OpenPort(kMissingPort), 0);
  Start();
  Settle();
  const auto used = CpuOver(kIdleWindow);
  EXPECT_LT(used, kIdleCpuLimit);
  EXPECT_EQ(target.Count(), 0);
}

TEST_F(ListenerTest, AHangUpIsNotifiedOnceAndTheExchangeEndsAtItsTimeOut) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  RecordingHost host;
  ProtocolEngine engine{line, host};
  engine.OnVerReadClicked();
  ASSERT_EQ(radio.Read(1), Bytes{VERSION_COMMAND});
  radio.HangUp();
  ASSERT_TRUE(target.WaitForCount(1));
  Settle();
  const auto used = CpuOver(kIdleWindow);
  EXPECT_LT(used, kIdleCpuLimit);
  EXPECT_EQ(target.Count(), 1);

  // The window handles the notification: nothing to read, the version read still waits.
  engine.OnCommNotify();
  EXPECT_EQ(engine.State().protocolState, ProtocolState::AwaitVersion1);
  EXPECT_TRUE(host.messages.empty());
  ASSERT_TRUE(host.timerRunning);
  engine.OnTimer();
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_COMMUNICATION_ERROR)});
  EXPECT_EQ(engine.State().protocolState, ProtocolState::Idle);
}

TEST_F(ListenerTest, AfterASwitchTheListenerWaitsOnTheNewPort) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  FakePortList list{line};
  int portIndex = 0;
  list.selection = 1;
  OnPortSelChange(list, line, portIndex);
  ASSERT_EQ(portIndex, 1);
  ASSERT_TRUE(other.Write({0x01}));
  EXPECT_TRUE(target.WaitForCount(1));

  // And back, where the first port's descriptor number may well come again.
  const int posts = target.Count();
  list.selection = 0;
  OnPortSelChange(list, line, portIndex);
  ASSERT_TRUE(radio.Write({0x02}));
  EXPECT_TRUE(target.WaitForCount(posts + 1));

  // The switches' releases are used up: the listener sleeps again.
  Settle();
  EXPECT_LT(CpuOver(kIdleWindow), kIdleCpuLimit);
}

TEST_F(ListenerTest, BytesWaitingWhenAPortOpensAreNotified) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  ASSERT_TRUE(other.Write({0x06, 0x06}));
  FakePortList list{line};
  int portIndex = 0;
  list.selection = 1;
  OnPortSelChange(list, line, portIndex);
  EXPECT_TRUE(target.WaitForCount(1));
}

// Between its copy of the port handle and its wait, the listener is paused while the window
// thread switches ports: the wait that follows must not be on the descriptor the switch closed.
std::atomic<int> pausePhase{0};  // 0 run, 1 paused, 2 go on
void PauseOnce(ListenerPoint point) {
  if (point != ListenerPoint::BeforeWait) return;
  int expected = 0;
  if (!pausePhase.compare_exchange_strong(expected, 1)) return;
  while (pausePhase.load() != 2) std::this_thread::sleep_for(1ms);
}

TEST_F(ListenerTest, ASwitchBetweenCopyAndWaitIsNotMissed) {
  ASSERT_EQ(line.OpenPort(0), 1);
  pausePhase = 0;
  line.SetListenerPauseHook(PauseOnce);
  Start();
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (pausePhase.load() != 1 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(pausePhase.load(), 1);
  FakePortList list{line};
  int portIndex = 0;
  list.selection = 1;
  OnPortSelChange(list, line, portIndex);  // closes the descriptor the listener has copied
  pausePhase = 2;
  ASSERT_TRUE(other.Write({0x07}));
  EXPECT_TRUE(target.WaitForCount(1));
}

// Two links in one process, each on its own pseudo-terminal with its own listener: neither
// hears, reads or writes the other's bytes, and stopping one leaves the other working.
TEST_F(ListenerTest, TwoLinesInOneProcessKeepToTheirOwnPorts) {
  CountingTarget secondTarget;
  PosixLine second;
  ASSERT_EQ(line.OpenPort(0), 1);
  ASSERT_EQ(second.OpenPort(1), 1);
  Start();
  ASSERT_TRUE(second.StartListener(secondTarget));

  ASSERT_TRUE(radio.Write({0x11}));
  ASSERT_TRUE(target.WaitForCount(1));
  Settle();
  EXPECT_EQ(secondTarget.Count(), 0);
  ASSERT_TRUE(other.Write({0x22, 0x33}));
  ASSERT_TRUE(secondTarget.WaitForCount(1));
  Settle();
  EXPECT_EQ(target.Count(), 1);
  EXPECT_EQ(ReadAtPort(line, 1), Bytes{0x11});
  EXPECT_EQ(ReadAtPort(second, 2), (Bytes{0x22, 0x33}));
  EXPECT_EQ(line.PendingCount(), 0u);
  EXPECT_EQ(second.PendingCount(), 0u);

  const std::uint8_t mine = 0xA1, theirs = 0xB2;
  line.Write(&mine, 1);
  second.Write(&theirs, 1);
  EXPECT_EQ(radio.Read(1), Bytes{mine});
  EXPECT_EQ(other.Read(1), Bytes{theirs});

  second.StopLink();
  EXPECT_FALSE(second.ListenerRunning());
  EXPECT_EQ(second.PortHandle(), INVALID_PORT_HANDLE);
  EXPECT_TRUE(line.ListenerRunning());
  EXPECT_TRUE(PortIs(line, radio.SlavePath()));
  ASSERT_TRUE(radio.Write({0x44}));
  EXPECT_TRUE(target.WaitForCount(2));
  EXPECT_EQ(ReadAtPort(line, 1), Bytes{0x44});
}

// One byte at a time, read at once like the engine does: the transfer's own pattern.
TEST_F(ListenerTest, MeasuresNotificationsPerByteInLockstep) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  constexpr int kBytes = 2000;
  for (int i = 0; i < kBytes; ++i) {
    ASSERT_TRUE(radio.Write({static_cast<std::uint8_t>(i)}));
    ASSERT_TRUE(target.WaitForCount(i + 1)) << "byte " << i;
    std::uint8_t byte = 0;
    ASSERT_EQ(line.Read(&byte, 1), 1u);
    ASSERT_EQ(byte, static_cast<std::uint8_t>(i));
  }
  Settle();
  EXPECT_EQ(target.Count(), kBytes);
}

}  // namespace
}  // namespace vannor::test
