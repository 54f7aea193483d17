// The line's contract, the same on every platform: run on Linux against a radio on a
// pseudo-terminal, and on Windows under Wine against the radio that vannor-wine-radio serves on
// COM1 (one test per process there, each with the radio its CMake entry sets up).
#include "tests/serial/line_contract.h"

#include <gtest/gtest.h>

#include <thread>

#include "protocol/messages.h"
#include "protocol/protocol_engine.h"

namespace vannor::test {

Bytes Exchange::Receive(std::size_t count) {
  while (received_.size() < count && loop_.Next(line_)) {
    std::uint8_t buffer[100];
    for (std::size_t waiting = line_.PendingCount(); waiting > 0; waiting = line_.PendingCount()) {
      const std::size_t n = line_.Read(buffer, std::min(waiting, sizeof buffer));
      if (n == 0) break;
      received_.insert(received_.end(), buffer, buffer + n);
    }
  }
  const auto n = static_cast<std::ptrdiff_t>(std::min(count, received_.size()));
  Bytes got(received_.begin(), received_.begin() + n);
  received_.erase(received_.begin(), received_.begin() + n);
  return got;
}

Bytes Exchange::ReadVersions() {
  Send({VERSION_COMMAND});
  return Receive(4);
}

bool Exchange::StartWrite(std::uint8_t mask) {
  Send({WRITE_COMMAND, mask});
  if (Receive(1) != Bytes{ACK}) return false;
  Send({ENQ});
  return Receive(1) == Bytes{ACK};
}

Bytes Exchange::WriteImage(const Bytes& image, std::uint8_t mask) {
  if (!StartWrite(mask)) return {};
  Bytes echoes;
  for (const std::uint8_t byte : image) {
    Send({byte});
    const Bytes echo = Receive(1);
    if (echo.empty()) break;
    echoes.push_back(echo[0]);
  }
  return echoes;
}

namespace {

class LineContract : public ::testing::Test {
 protected:
  void TearDown() override { line.Stop(); }

  // Opens the radio's port and watches it as a host does.
  void OpenAndWatch() {
    ASSERT_EQ(line.OpenPort(RADIO_PORT), 1) << line.LastOpenFailure().reason;
    ASSERT_TRUE(line.StartWatching(loop));
  }

  // With nothing but `meet` looking at the port, the radio hangs up (Windows: --length 10
  // --hang-up-at 0): meet must find the port failed at once, and the line say why.
  template <typename Meet>
  void MeetsAPortThatWentAway(Meet meet) {
    RadioEnd farEnd({.length = 10, .hangUpAt = 0});
    ASSERT_TRUE(farEnd.Ok());
    OpenAndWatch();
    ASSERT_TRUE(radio.StartWrite(0x0F));
    line.Backend().StopWatch();
    radio.Send({0x00});  // the radio closes the line when this arrives
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!line.PortFailed() && std::chrono::steady_clock::now() < deadline) {
      meet();
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(line.PortFailed());
    ExpectWentAway(line);
  }

  // The reason both systems give; Windows adds its own code and words after it.
  static void ExpectWentAway(const Line& line) {
    const std::string reason = line.FailureReason();
    EXPECT_EQ(reason.rfind("the port went away; was the adapter unplugged?", 0), 0u) << reason;
  }

  TestLoop loop;
  Line line;
  Exchange radio{line, loop};
};

// Windows: --dsp-version 0.255.128.127 --length 256 --check-image image.out.
TEST_F(LineContract, EveryByteValueCrossesBothWays) {
  RadioEnd farEnd({.version = {0, 255, 128, 127}, .length = 256});
  ASSERT_TRUE(farEnd.Ok());
  OpenAndWatch();
  EXPECT_EQ(radio.ReadVersions(), (Bytes{0, 255, 128, 127}));
  // Each value once, the line's special characters among them; the echoes bring each back.
  const Bytes image = testkit::AllByteValues(256);
  EXPECT_EQ(radio.WriteImage(image, 0x0F), image);
  EXPECT_TRUE(farEnd.ReceivedImage(image));
}

TEST_F(LineContract, AnOpenPortIsHeldAndOpensAgainOnceClosed) {
  RadioEnd farEnd;
  ASSERT_TRUE(farEnd.Ok());
  ASSERT_EQ(line.OpenPort(RADIO_PORT), 1);
  EXPECT_EQ(line.Device(), farEnd.Device());
  EXPECT_FALSE(farEnd.PortIsFree());
  Line second;
  EXPECT_EQ(second.OpenPort(RADIO_PORT), 0);
  EXPECT_EQ(second.LastOpenFailure().device, farEnd.Device());
  EXPECT_FALSE(second.LastOpenFailure().reason.empty());
  EXPECT_FALSE(second.PortUsable());

  line.ClosePort();
  EXPECT_FALSE(line.PortUsable());
  EXPECT_TRUE(farEnd.PortIsFree());
  EXPECT_EQ(second.OpenPort(RADIO_PORT), 1);
  EXPECT_TRUE(second.LastOpenFailure().reason.empty());
  second.ClosePort();
  // The command line's way in: the port's name.
  EXPECT_EQ(line.OpenDevice("COM1"), 1);
  EXPECT_EQ(line.Device(), farEnd.Device());
}

TEST_F(LineContract, PortsOutsideTheListAndMissingPortsDoNotOpen) {
  RadioEnd farEnd;
  ASSERT_TRUE(farEnd.Ok());
  for (const int outside : {-1, PORT_COUNT}) {
    EXPECT_EQ(line.OpenPort(outside), 0) << outside;
    EXPECT_EQ(line.LastOpenFailure().device, "") << outside;
    EXPECT_EQ(line.LastOpenFailure().reason, "no such port") << outside;
  }
  ASSERT_EQ(line.OpenPort(RADIO_PORT), 1);  // a failed open must not keep the old port
  EXPECT_EQ(line.OpenPort(MISSING_PORT), 0);
  EXPECT_FALSE(line.LastOpenFailure().device.empty());
  EXPECT_FALSE(line.LastOpenFailure().reason.empty());
  EXPECT_FALSE(line.PortUsable());
  EXPECT_TRUE(farEnd.PortIsFree());
  // The engine's calls on no port do nothing; a write says that nothing went out.
  std::uint8_t byte = VERSION_COMMAND;
  EXPECT_FALSE(line.Write(&byte, 1));
  EXPECT_EQ(line.PendingCount(), 0u);
  EXPECT_EQ(line.Read(&byte, 1), 0u);
  EXPECT_FALSE(line.PortFailed());
}

TEST_F(LineContract, APickOfAMissingPortFallsBackAndTheOpenPortReopens) {
  RadioEnd farEnd;
  ASSERT_TRUE(farEnd.Ok());
  PickingHost host(loop);
  Link link(host, "vannor", false, MakePortBackend());
  ASSERT_TRUE(link.OpenPort(RADIO_PORT)) << link.SerialLine().LastOpenFailure().reason;
  ASSERT_TRUE(link.Watching());
  Exchange overLink(link.SerialLine(), loop);
  EXPECT_EQ(link.OnPortPicked(MISSING_PORT, host), RADIO_PORT);
  EXPECT_EQ(host.notUsableShown, 1);
  // The reopened port is watched: the radio's answer is heard.
  EXPECT_EQ(overLink.ReadVersions().size(), 4u);

  // Picking the open port again reopens it without a message.
  EXPECT_EQ(link.OnPortPicked(RADIO_PORT, host), RADIO_PORT);
  EXPECT_EQ(host.notUsableShown, 1);
  EXPECT_EQ(overLink.ReadVersions().size(), 4u);
}

TEST_F(LineContract, TheStopSequenceEndsTheWatchAndFreesThePort) {
  RadioEnd farEnd;
  ASSERT_TRUE(farEnd.Ok());
  for (const int port : {RADIO_PORT, MISSING_PORT}) {
    SCOPED_TRACE(port == RADIO_PORT ? "after an exchange" : "with no port open");
    if (port == RADIO_PORT) {
      OpenAndWatch();
      ASSERT_EQ(radio.ReadVersions().size(), 4u);
    } else {
      ASSERT_EQ(line.OpenPort(port), 0);
      ASSERT_TRUE(line.StartWatching(loop));
    }
    line.Stop();
    EXPECT_FALSE(line.Watching());
    EXPECT_FALSE(line.PortUsable());
    EXPECT_TRUE(farEnd.PortIsFree());
    line.Stop();  // again: nothing left to do
  }
}

// Windows: --length 10 --hang-up-at 2.
TEST_F(LineContract, AHangUpEndsTheExchangeAtOnceAsAFailedPort) {
  RadioEnd farEnd({.length = 10, .hangUpAt = 2});
  ASSERT_TRUE(farEnd.Ok());
  PickingHost host(loop);
  Link link(host, "vannor", false, MakePortBackend());
  ASSERT_TRUE(link.OpenPort(RADIO_PORT));
  const Bytes image = testkit::MakeImage(10);
  link.StartUpdate(0x0F, testkit::MemoryImage(image));
  PassQuietPeriod(link);
  // The engine hears every port event and no timer expiry: only the port can end it.
  while (host.outcomes.empty() && loop.Next(link.SerialLine())) link.OnPortReady();
  ASSERT_EQ(host.outcomes.size(), 1u);
  EXPECT_EQ(host.outcomes[0].kind, Outcome::CommunicationError);
  EXPECT_EQ(host.outcomes[0].failure.cause, FailureCause::PortFailed);
  EXPECT_EQ(MessageFor(host.outcomes[0]), MSG_COMMUNICATION_ERROR);
  // The engine closed the dead port; the reason outlives it.
  EXPECT_FALSE(link.SerialLine().PortUsable());
  ExpectWentAway(link.SerialLine());
}

TEST_F(LineContract, AWriteMeetsAPortThatWentAway) {
  const std::uint8_t byte = 0x01;
  MeetsAPortThatWentAway([&] { (void)line.Write(&byte, 1); });
  EXPECT_FALSE(line.Write(&byte, 1));
}

TEST_F(LineContract, APendingCountMeetsAPortThatWentAway) {
  MeetsAPortThatWentAway([&] { (void)line.PendingCount(); });
  EXPECT_EQ(line.PendingCount(), 0u);
}

}  // namespace
}  // namespace vannor::test
