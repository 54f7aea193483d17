// Opening, configuring and using one port on real pseudo-terminals.
#include "serial/serial_port.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "tests/serial/serial_test_support.h"

namespace vannor::test {
namespace {

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    ASSERT_TRUE(radio.Ok());
    ASSERT_TRUE(map.Map(0, radio.SlavePath()));
  }
  void TearDown() override { ResetPortState(); }

  // Everything the engine would read, gathered until count bytes came or nothing more does.
  Bytes ReadAtPort(std::size_t count) {
    Bytes got;
    while (got.size() < count && WaitReadable(linkState.portHandle)) {
      std::uint8_t buffer[100];
      const std::size_t waiting = SerialPendingCount();
      const std::size_t n = SerialRead(buffer, std::min(waiting, sizeof buffer));
      if (n == 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  PortMap map;
  FarEnd radio;
};

TEST_F(SerialPortTest, EveryByteValueCrossesBothWaysInOneStream) {
  ASSERT_EQ(OpenPort(0), 1);
  const Bytes all = AllByteValues();
  ASSERT_TRUE(radio.Write(all));
  EXPECT_EQ(ReadAtPort(all.size()), all);

  SerialWrite(all.data(), all.size());
  EXPECT_EQ(radio.Read(all.size()), all);
  // Nothing extra reached the radio: no echo of what it sent, no CR added before LF. The
  // marker comes after anything the port could have added.
  const std::uint8_t marker = 0x5A;
  SerialWrite(&marker, 1);
  EXPECT_EQ(radio.Read(1), Bytes{marker});
}

TEST_F(SerialPortTest, EveryByteValueCrossesBothWaysAsSingleBytes) {
  ASSERT_EQ(OpenPort(0), 1);
  for (int value = 0; value < 256; ++value) {
    const Bytes one{static_cast<std::uint8_t>(value)};
    ASSERT_TRUE(radio.Write(one));
    ASSERT_EQ(ReadAtPort(1), one) << "radio to tool, byte " << value;
    SerialWrite(one.data(), 1);
    ASSERT_EQ(radio.Read(1), one) << "tool to radio, byte " << value;
  }
  const std::uint8_t marker = 0x5A;
  SerialWrite(&marker, 1);
  EXPECT_EQ(radio.Read(1), Bytes{marker});
}

TEST_F(SerialPortTest, OpenedPortIsRaw38400EightNoneOne) {
  // The far end starts in the terminal's cooked defaults, as a pseudo-terminal does.
  termios before{};
  ASSERT_EQ(tcgetattr(radio.Slave(), &before), 0);
  ASSERT_NE(before.c_lflag & ICANON, 0u);

  ASSERT_EQ(OpenPort(0), 1);
  termios t{};
  ASSERT_EQ(tcgetattr(linkState.portHandle, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), speed_t{B38400});
  EXPECT_TRUE(cfgetispeed(&t) == B38400 || cfgetispeed(&t) == 0);
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
  EXPECT_EQ(t.c_cflag & PARENB, 0u);
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_cflag & CLOCAL, 0u);
  EXPECT_NE(t.c_cflag & CREAD, 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  for (tcflag_t flag : {IGNBRK, BRKINT, PARMRK, ISTRIP, INLCR, IGNCR, ICRNL, IXON, IXOFF, IXANY}) {
    EXPECT_EQ(t.c_iflag & flag, 0u) << "input flag " << flag;
  }
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  for (tcflag_t flag : {ECHO, ECHONL, ICANON, ISIG, IEXTEN}) {
    EXPECT_EQ(t.c_lflag & flag, 0u) << "local flag " << flag;
  }
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);

  int exclusive = 0;
  ASSERT_EQ(ioctl(linkState.portHandle, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);
  // Reads and writes must never block the window thread.
  EXPECT_NE(fcntl(linkState.portHandle, F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(SerialPortTest, AnOpenPortIsLockedAndOpensAgainOnceClosed) {
  ASSERT_EQ(OpenPort(0), 1);
  EXPECT_FALSE(PortIsFree(radio.SlavePath()));  // a second open, ours or another program's
  ClosePort();
  EXPECT_EQ(linkState.portHandle, INVALID_PORT_HANDLE);
  EXPECT_TRUE(PortIsFree(radio.SlavePath()));
  int exclusive = 1;
  ASSERT_EQ(ioctl(radio.Slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);  // the terminal is not left exclusive for the next user
  EXPECT_EQ(OpenPort(0), 1);
  EXPECT_TRUE(PortIs(radio.SlavePath()));
}

TEST_F(SerialPortTest, APortAnotherProgramHoldsDoesNotOpen) {
  const int other = open(radio.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  const int before = OpenDescriptorCount();
  EXPECT_EQ(OpenPort(0), 0);
  EXPECT_EQ(linkState.portHandle, INVALID_PORT_HANDLE);
  EXPECT_EQ(OpenDescriptorCount(), before);
  close(other);
  EXPECT_EQ(OpenPort(0), 1);
}

TEST_F(SerialPortTest, FailedOpensLeaveTheHandleInvalidAndNoDescriptor) {
  ASSERT_EQ(OpenPort(0), 1);  // a failed open after a good one must not keep the old port
  const int withPort = OpenDescriptorCount();
  ASSERT_TRUE(map.Map(1, map.Folder() + "/unplugged"));
  TempDir files;
  ASSERT_TRUE(map.Map(2, files.Write("not-a-terminal", {1, 2, 3})));
  for (int index : {1, 2, -1, 10}) {
    EXPECT_EQ(OpenPort(index), 0) << index;
    EXPECT_EQ(linkState.portHandle, INVALID_PORT_HANDLE) << index;
    EXPECT_FALSE(SerialPortUsable());
    EXPECT_EQ(OpenDescriptorCount(), withPort - 1) << index;
  }
  // The engine's operations on no port do nothing and say so.
  std::uint8_t byte = 0x56;
  SerialWrite(&byte, 1);
  EXPECT_EQ(SerialPendingCount(), 0u);
  EXPECT_EQ(SerialRead(&byte, 1), 0u);
}

TEST_F(SerialPortTest, PendingCountAndReadDeliverWhatWaitsInOrder) {
  ASSERT_EQ(OpenPort(0), 1);
  Bytes sent(250);
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(radio.Write(sent));
  ASSERT_TRUE(WaitReadable(linkState.portHandle));
  // Wait for the whole burst: the count grows while the terminal moves it in.
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (SerialPendingCount() < sent.size() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(SerialPendingCount(), sent.size());
  Bytes got(sent.size());
  EXPECT_EQ(SerialRead(got.data(), 100), 100u);
  EXPECT_EQ(SerialPendingCount(), 150u);
  EXPECT_EQ(SerialRead(got.data() + 100, 150), 150u);
  EXPECT_EQ(got, sent);
  EXPECT_EQ(SerialPendingCount(), 0u);
  EXPECT_EQ(SerialRead(got.data(), 1), 0u);  // nothing there: no wait
}

TEST_F(SerialPortTest, AWriteThatCannotBeQueuedIsLostWithoutBlocking) {
  ASSERT_EQ(OpenPort(0), 1);
  // The radio reads nothing, so the output queue fills; every write still returns.
  Bytes block(4096);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 64; ++i) SerialWrite(block.data(), block.size());
  Bytes got;
  std::uint8_t buffer[4096];
  while (WaitReadable(radio.Master(), 200ms)) {
    const ssize_t n = read(radio.Master(), buffer, sizeof buffer);
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  // The first block found an empty queue and went out whole; some later ones were dropped.
  ASSERT_GE(got.size(), block.size());
  EXPECT_TRUE(std::equal(block.begin(), block.end(), got.begin()));
  EXPECT_LT(got.size(), 64 * block.size());
}

TEST_F(SerialPortTest, AfterAHangUpThePortDeliversNothingAndTakesNothing) {
  ASSERT_EQ(OpenPort(0), 1);
  radio.HangUp();
  std::uint8_t byte = 0x41;
  SerialWrite(&byte, 1);  // returns at once: the byte is lost
  EXPECT_EQ(SerialPendingCount(), 0u);
  EXPECT_EQ(SerialRead(&byte, 1), 0u);
  EXPECT_TRUE(SerialPortUsable());  // still open until a switch or the end closes it
  ClosePort();
  EXPECT_EQ(linkState.portHandle, INVALID_PORT_HANDLE);
}

}  // namespace
}  // namespace vannor::test
