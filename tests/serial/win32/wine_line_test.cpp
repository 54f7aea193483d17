// The Windows serial line against the radio simulator: run under Wine by vannor-wine-radio,
// which serves COM1 (or the port its --com names) from a pseudo-terminal; COM4 leads nowhere.
// Each test runs in a process of its own, with the radio its CMake entry sets up.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "serial/port_names.h"
#include "serial/port_switch.h"
#include "serial/win32/win32_line.h"
#include "testing/counting_target.h"
#include "testing/fake_port_list.h"
#include "testing/images.h"

namespace vannor::test {
namespace {

using namespace std::chrono_literals;
using testkit::Bytes;
using testkit::CountingTarget;
using testkit::FakePortList;

constexpr int kMissingPort = 3;
// Generous bound for anything that should happen at once; only a hang reaches it.
constexpr auto kPatience = 5s;
constexpr std::uint8_t ACK = 0x06;

// The engine's side of an exchange, without the engine: waits for the listener's
// notifications and reads what is waiting at each, as the engine does.
class Exchange {
 public:
  Exchange(Win32Line& line, CountingTarget& target) : line_(line), target_(target) {}

  void Send(const Bytes& bytes) { line_.Write(bytes.data(), bytes.size()); }

  // Up to count bytes, waiting at most kPatience for each notification. Reads only when told,
  // and then everything that waits, as the engine does: a byte that was never announced is
  // never read.
  Bytes Receive(std::size_t count) {
    while (received_.size() < count) {
      if (!target_.WaitForCount(heard_ + 1, kPatience)) break;
      heard_ = target_.Count();
      std::uint8_t buffer[100];
      for (std::size_t waiting = line_.PendingCount(); waiting > 0;
           waiting = line_.PendingCount()) {
        const std::size_t n = line_.Read(buffer, std::min(waiting, sizeof buffer));
        if (n == 0) break;
        received_.insert(received_.end(), buffer, buffer + n);
      }
    }
    const std::size_t n = std::min(count, received_.size());
    Bytes got(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(n));
    received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(n));
    return got;
  }

  // Ver Read: the radio's four version bytes.
  Bytes ReadVersions() {
    Send({0x56});
    return Receive(4);
  }

  // Write request, ENQ and the image byte by byte; returns the echoes.
  Bytes WriteImage(const Bytes& image, std::uint8_t mask) {
    Send({0x57, mask});
    if (Receive(1) != Bytes{ACK}) return {};
    Send({0x05});
    if (Receive(1) != Bytes{ACK}) return {};
    Bytes echoes;
    for (const std::uint8_t byte : image) {
      Send({byte});
      const Bytes echo = Receive(1);
      if (echo.empty()) break;
      echoes.push_back(echo[0]);
    }
    return echoes;
  }

 private:
  Win32Line& line_;
  CountingTarget& target_;
  int heard_ = 0;
  Bytes received_;
};

// A file in the folder that vannor-wine-radio shares with this program, for it to check.
bool ShareFile(const std::string& name, const Bytes& bytes) {
  const char* folder = std::getenv("VANNOR_RADIO_FOLDER");
  if (folder == nullptr) return false;
  std::ofstream out(std::string(folder) + "\\" + name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

DCB StateOf(HANDLE port) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  EXPECT_TRUE(GetCommState(port, &dcb));
  return dcb;
}

HANDLE OpenRaw(const char* path) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Whether the port opens for somebody else: the line has let go of it.
bool PortIsFree(const char* path) {
  const HANDLE port = OpenRaw(path);
  if (port == INVALID_HANDLE_VALUE) return false;
  CloseHandle(port);
  return true;
}

class WineLine : public ::testing::Test {
 protected:
  void TearDown() override {
    stopBegun = true;  // a test that failed early leaves no listener held in its hook
    line.StopLink();
    line.SetListenerPauseHook(nullptr);
  }

  void Start() { ASSERT_TRUE(line.StartListener(target)); }

  // The stop sequence, checked: prompt, the thread gone, the port closed and free.
  void StopAndCheck() {
    stopBegun = true;
    const auto started = std::chrono::steady_clock::now();
    line.StopLink();
    EXPECT_LT(std::chrono::steady_clock::now() - started, kPatience);
    EXPECT_FALSE(line.ListenerRunning());
    EXPECT_EQ(line.PortHandle(), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(PortIsFree("\\\\.\\COM1"));
  }

  // Holds the listener in a pause hook until the stop sequence has begun, then a little longer.
  static void WaitForStop() {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!stopBegun.load() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    std::this_thread::sleep_for(10ms);
  }

  static inline std::atomic<bool> stopBegun{false};
  CountingTarget target;
  Win32Line line;
  Exchange radio{line, target};
};

// Run with --dsp-version 0.255.128.127 --length 256 --check-image image.out.
TEST_F(WineLine, EveryByteValueCrossesBothWays) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  EXPECT_EQ(radio.ReadVersions(), (Bytes{0, 255, 128, 127}));

  // Each value once; the echoes bring each one back.
  const Bytes image = testkit::AllByteValues(256);
  ASSERT_TRUE(ShareFile("image.out", image));
  EXPECT_EQ(radio.WriteImage(image, 0x0F), image);
}

TEST_F(WineLine, OpensRawAndPutsTheSettingsBack) {
  // The port as another program left it: 9600 baud, two stop bits, XON/XOFF. (A pseudo-terminal
  // keeps 8 bits and no parity whatever it is told.)
  HANDLE raw = OpenRaw("\\\\.\\COM1");
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  DCB before = StateOf(raw);
  before.BaudRate = CBR_9600;
  before.StopBits = TWOSTOPBITS;
  before.fOutX = TRUE;
  before.fInX = TRUE;
  ASSERT_TRUE(SetCommState(raw, &before));
  CloseHandle(raw);

  ASSERT_EQ(line.OpenPort(0), 1);
  const DCB open = StateOf(line.PortHandle());
  EXPECT_EQ(open.BaudRate, static_cast<DWORD>(CBR_38400));
  EXPECT_EQ(open.ByteSize, 8);
  EXPECT_EQ(open.Parity, NOPARITY);
  EXPECT_EQ(open.StopBits, ONESTOPBIT);
  EXPECT_TRUE(open.fBinary);
  EXPECT_FALSE(open.fParity || open.fOutX || open.fInX || open.fNull || open.fErrorChar ||
               open.fOutxCtsFlow || open.fOutxDsrFlow || open.fDsrSensitivity);
  COMMTIMEOUTS timeouts{};
  ASSERT_TRUE(GetCommTimeouts(line.PortHandle(), &timeouts));
  EXPECT_EQ(timeouts.ReadIntervalTimeout, 0u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 10u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 100u);
  DWORD mask = 0;
  ASSERT_TRUE(GetCommMask(line.PortHandle(), &mask));
  EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR));

  line.ClosePort();
  raw = OpenRaw("\\\\.\\COM1");
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  const DCB after = StateOf(raw);
  CloseHandle(raw);
  EXPECT_EQ(after.BaudRate, static_cast<DWORD>(CBR_9600));
  EXPECT_EQ(after.StopBits, TWOSTOPBITS);
  EXPECT_TRUE(after.fOutX && after.fInX);
}

TEST_F(WineLine, ASecondOpenOfTheOpenPortFails) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Win32Line second;
  EXPECT_EQ(second.OpenPort(0), 0);
  EXPECT_EQ(second.LastOpenFailure().device, "\\\\.\\COM1");
  EXPECT_NE(second.LastOpenFailure().reason.find("(error 5)"), std::string::npos)
      << second.LastOpenFailure().reason;
  EXPECT_FALSE(second.PortUsable());
  // Nor does another program get it.
  EXPECT_EQ(OpenRaw("\\\\.\\COM1"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  line.ClosePort();
  EXPECT_EQ(second.OpenPort(0), 1);
  EXPECT_TRUE(second.LastOpenFailure().reason.empty());
}

TEST_F(WineLine, PortsOutsideTheListAndMissingPortsDoNotOpen) {
  EXPECT_EQ(ResolvePortPath(0), "\\\\.\\COM1");
  EXPECT_EQ(ResolvePortPath(9), "\\\\.\\COM10");
  EXPECT_TRUE(PortLinkPath(0).empty());
  for (const int outside : {-1, PORT_COUNT}) {
    EXPECT_EQ(line.OpenPort(outside), 0);
    EXPECT_EQ(line.LastOpenFailure().reason, "no such port");
  }
  EXPECT_EQ(line.OpenPort(kMissingPort), 0);
  EXPECT_EQ(line.LastOpenFailure().device, "\\\\.\\COM4");
  EXPECT_FALSE(line.LastOpenFailure().reason.empty());
  EXPECT_FALSE(line.PortUsable());
  // Not a serial port at all.
  EXPECT_EQ(line.OpenDevice("\\\\.\\NUL"), 0);
  EXPECT_NE(line.LastOpenFailure().reason.find("not a serial port"), std::string::npos)
      << line.LastOpenFailure().reason;
  // Nothing to read or write, and nothing breaks.
  const std::uint8_t byte = 0x56;
  line.Write(&byte, 1);
  EXPECT_EQ(line.PendingCount(), 0u);
}

// Run with --com 10: names of two digits open through the device namespace.
TEST_F(WineLine, Com10Opens) {
  ASSERT_EQ(line.OpenPort(9), 1) << line.LastOpenFailure().reason;
  Start();
  EXPECT_EQ(radio.ReadVersions().size(), 4u);
  line.StopLink();
  ASSERT_EQ(line.OpenDevice("COM10"), 1) << line.LastOpenFailure().reason;
  EXPECT_EQ(line.LastOpenFailure().device, "\\\\.\\COM10");
}

TEST_F(WineLine, SwitchToAMissingPortFallsBackToTheOpenOne) {
  FakePortList list(line);
  int portIndex = 0;
  ASSERT_EQ(line.OpenPort(portIndex), 1);
  Start();

  list.selection = kMissingPort;
  OnPortSelChange(list, line, portIndex);
  EXPECT_EQ(list.notUsableShown, 1);
  EXPECT_EQ(list.lockedDuringMessage, std::vector<bool>{true});
  EXPECT_EQ(list.selected, std::vector<int>{0});
  EXPECT_EQ(portIndex, 0);
  ASSERT_TRUE(line.PortUsable());
  // The listener waits on the reopened port: the radio's answer is heard.
  EXPECT_EQ(radio.ReadVersions().size(), 4u);

  // Picking the open port again reopens it without a message.
  list.selection = 0;
  OnPortSelChange(list, line, portIndex);
  EXPECT_EQ(list.notUsableShown, 1);
  EXPECT_EQ(radio.ReadVersions().size(), 4u);
}

TEST_F(WineLine, StopWhileTheListenerWaitsOnAPort) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  ASSERT_EQ(radio.ReadVersions().size(), 4u);  // it has been round its loop and waits again
  StopAndCheck();
}

TEST_F(WineLine, StopWhileTheListenerWaitsWithNoPort) {
  ASSERT_EQ(line.OpenPort(kMissingPort), 0);
  Start();
  std::this_thread::sleep_for(20ms);
  StopAndCheck();
}

TEST_F(WineLine, StopWhileTheListenerIsBetweenItsCopyAndItsWait) {
  ASSERT_EQ(line.OpenPort(0), 1);
  // The listener holds still after it started its wait under the lock, until the stop has
  // begun: the release must end a wait that has not been waited for yet.
  line.SetListenerPauseHook([](ListenerPoint point) {
    if (point == ListenerPoint::BeforeWait) WaitForStop();
  });
  Start();
  std::this_thread::sleep_for(20ms);
  StopAndCheck();
}

TEST_F(WineLine, StopJustAfterTheListenerLookedAtTheFlag) {
  ASSERT_EQ(line.OpenPort(0), 1);
  line.SetListenerPauseHook([](ListenerPoint point) {
    if (point == ListenerPoint::BeforeCopy) WaitForStop();
  });
  Start();
  std::this_thread::sleep_for(20ms);
  StopAndCheck();
}

// Run with --length 10 --hang-up-at 2: the radio closes the line when image byte 2 arrives.
TEST_F(WineLine, AHangUpIsHeardAndTheListenerThenSleeps) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  EXPECT_EQ(radio.WriteImage({10, 11}, 0x01), (Bytes{10, 11}));
  const int before = target.Count();
  radio.Send({12});
  // The wait that the hang-up ended is told to the window, which finds nothing to read. (Wine
  // may first report the hang-up as a character, then as a failed wait: two notifications.)
  ASSERT_TRUE(target.WaitForCount(before + 1, kPatience));
  EXPECT_EQ(line.PendingCount(), 0u);
  std::uint8_t buffer[4];
  EXPECT_EQ(line.Read(buffer, sizeof buffer), 0u);
  radio.Send({0x56});  // lost, as on an unplugged cable; nothing breaks
  std::this_thread::sleep_for(100ms);

  // Then no more notifications, and no busy loop without them.
  const int heard = target.Count();
  EXPECT_LE(heard, before + 2);
  const auto cpuBefore = line.ListenerCpuTime();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(target.Count(), heard);
  EXPECT_LT(line.ListenerCpuTime() - cpuBefore, 250ms);
  StopAndCheck();
}

}  // namespace
}  // namespace vannor::test
