// Switching ports from the port list, on real pseudo-terminals, beyond the line contract: two
// radios, and what a reopen keeps.
#include "serial/port_switch.h"

#include <gtest/gtest.h>

#include "protocol/protocol_engine.h"
#include "tests/serial/serial_test_support.h"

namespace vannor::test {
namespace {

class PortSwitchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(first.Ok() && second.Ok());
    ASSERT_TRUE(map.Map(0, first.SlavePath()));
    ASSERT_TRUE(map.Map(1, second.SlavePath()));
    ASSERT_TRUE(map.Map(4, map.Folder() + "/no-such-port"));
    ASSERT_EQ(line.OpenPort(0), 1);
  }

  void PickPort(int selection) {
    list.selection = selection;
    OnPortSelChange(list, line, portIndex);
  }

  PortMap map;
  FarEnd first;
  FarEnd second;
  Line line;
  FakePortList list{line};
  int portIndex = 0;
};

TEST_F(PortSwitchTest, ToAnotherPortClosesTheOldOneAndOpensTheNew) {
  const int before = OpenDescriptorCount();
  PickPort(1);
  EXPECT_EQ(portIndex, 1);
  EXPECT_TRUE(PortIs(line, second.SlavePath()));
  EXPECT_TRUE(PortIsFree(first.SlavePath()));
  EXPECT_EQ(list.notUsableShown, 0);
  EXPECT_TRUE(list.selected.empty());  // the user's own selection stands
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(PortSwitchTest, ToThePortAlreadyOpenReopensItSilently) {
  // Bytes that wait in the terminal survive the reopen; the engine reads them afterwards.
  ASSERT_TRUE(first.Write({0x06}));
  // Marks the open file itself (not the descriptor number, which may come again): a fresh
  // open has no owner.
  ASSERT_EQ(fcntl(PortHandleOf(line), F_SETOWN, getpid()), 0);
  PickPort(0);
  EXPECT_EQ(fcntl(PortHandleOf(line), F_GETOWN), 0);
  EXPECT_EQ(list.notUsableShown, 0);
  EXPECT_EQ(portIndex, 0);
  EXPECT_TRUE(PortIs(line, first.SlavePath()));
  ASSERT_TRUE(WaitReadable(PortHandleOf(line)));
  std::uint8_t byte = 0;
  EXPECT_EQ(line.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, 0x06);
}

TEST_F(PortSwitchTest, WhenNeitherPortOpensNoPortIsOpenAndThePreviousOneStaysSelected) {
  PickPort(1);
  ASSERT_EQ(portIndex, 1);
  second.HangUp();  // the adapter behind COM2 is unplugged: its device disappears
  const int before = OpenDescriptorCount();
  PickPort(4);
  EXPECT_EQ(list.notUsableShown, 1);
  EXPECT_EQ(PortHandleOf(line), NO_DESCRIPTOR);
  EXPECT_EQ(portIndex, 1);
  EXPECT_EQ(list.selected, std::vector<int>{1});
  EXPECT_EQ(OpenDescriptorCount(), before - 1);
  // A later pick of a working port works again.
  PickPort(0);
  EXPECT_EQ(portIndex, 0);
  EXPECT_TRUE(PortIs(line, first.SlavePath()));
}

TEST_F(PortSwitchTest, AListWithoutValidSelectionKeepsThePortInUseSilently) {
  PickPort(1);
  for (int none : {-1, 10, 1000, -1000}) {
    PickPort(none);
    EXPECT_EQ(list.notUsableShown, 0) << none;
    EXPECT_EQ(portIndex, 1) << none;
    EXPECT_TRUE(PortIs(line, second.SlavePath())) << none;
    EXPECT_EQ(list.selection, 1) << none;
  }
}

TEST_F(PortSwitchTest, ASwitchDuringAnUpdateLeavesTheExchangeRunning) {
  RecordingHost host;
  ProtocolEngine engine{line, host};
  TempDir files;
  host.chosenPath = files.Write("dsp.out", {0xAA, 0xBB});
  engine.OnUpdateClicked();
  ASSERT_EQ(first.Read(2), (Bytes{WRITE_COMMAND, 0x0F}));
  ASSERT_TRUE(first.Write({ACK}));
  ASSERT_TRUE(WaitReadable(PortHandleOf(line)));
  engine.OnCommNotify();
  ASSERT_EQ(first.Read(1), Bytes{ENQ});
  ASSERT_EQ(engine.State().protocolState, ProtocolState::AwaitStartAck);
  const int timerStarts = host.timerStarts;

  PickPort(1);
  EXPECT_EQ(engine.State().protocolState, ProtocolState::AwaitStartAck);
  EXPECT_TRUE(host.timerRunning);
  EXPECT_EQ(host.timerStarts, timerStarts);
  EXPECT_TRUE(host.outcomes.empty());

  // The radio on the new port answers, and the exchange goes on there.
  ASSERT_TRUE(second.Write({ACK}));
  ASSERT_TRUE(WaitReadable(PortHandleOf(line)));
  engine.OnCommNotify();
  EXPECT_EQ(second.Read(1), Bytes{0xAA});
  EXPECT_EQ(engine.State().protocolState, ProtocolState::Sending);
}

}  // namespace
}  // namespace vannor::test
