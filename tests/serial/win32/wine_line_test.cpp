// What only the Windows line has, under Wine against the radio that vannor-wine-radio serves on
// COM1 (or the port its --com names): the driver's settings, the device namespace, the listener
// thread's stop points, and each way a port that went away is noticed. The contract shared with
// Linux is tests/serial/line_contract_test.cpp. Each test runs in a process of its own, with the
// radio its CMake entry sets up.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "protocol/protocol_engine.h"
#include "serial/port_names.h"
#include "serial/win32/win32_backend.h"
#include "tests/serial/line_contract.h"

namespace vannor::test {
namespace {

DCB StateOf(HANDLE port) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  EXPECT_TRUE(GetCommState(port, &dcb));
  return dcb;
}

HANDLE OpenRaw(const char* path) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

class WineLine : public ::testing::Test {
 protected:
  void TearDown() override {
    stopBegun = true;  // a test that failed early leaves no listener held in its hook
    line.Stop();
    Backend().SetListenerPauseHook(nullptr);
  }

  Win32Backend& Backend() { return static_cast<Win32Backend&>(line.Backend()); }
  void Start() { ASSERT_TRUE(line.StartWatching(loop)); }

  // The stop sequence, checked: the thread gone, the port closed and free.
  void StopAndCheck() {
    stopBegun = true;
    line.Stop();
    EXPECT_FALSE(line.Watching());
    EXPECT_EQ(Backend().PortHandle(), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(farEnd.PortIsFree());
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
  RadioEnd farEnd;
  TestLoop loop;
  Line line;
  Exchange radio{line, loop};
};

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
  const HANDLE port = Backend().PortHandle();
  const DCB open = StateOf(port);
  EXPECT_EQ(open.BaudRate, static_cast<DWORD>(CBR_38400));
  EXPECT_EQ(open.ByteSize, 8);
  EXPECT_EQ(open.Parity, NOPARITY);
  EXPECT_EQ(open.StopBits, ONESTOPBIT);
  EXPECT_TRUE(open.fBinary);
  EXPECT_FALSE(open.fParity || open.fOutX || open.fInX || open.fNull || open.fErrorChar ||
               open.fOutxCtsFlow || open.fOutxDsrFlow || open.fDsrSensitivity);
  COMMTIMEOUTS timeouts{};
  ASSERT_TRUE(GetCommTimeouts(port, &timeouts));
  EXPECT_EQ(timeouts.ReadIntervalTimeout, 0u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 10u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 100u);
  DWORD mask = 0;
  ASSERT_TRUE(GetCommMask(port, &mask));
  EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR));
  // Nobody else gets the port meanwhile.
  EXPECT_EQ(OpenRaw("\\\\.\\COM1"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  line.ClosePort();
  raw = OpenRaw("\\\\.\\COM1");
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  const DCB after = StateOf(raw);
  CloseHandle(raw);
  EXPECT_EQ(after.BaudRate, static_cast<DWORD>(CBR_9600));
  EXPECT_EQ(after.StopBits, TWOSTOPBITS);
  EXPECT_TRUE(after.fOutX && after.fInX);
}

TEST_F(WineLine, NamesOpenThroughTheDeviceNamespaceAndOnlySerialPortsOpen) {
  EXPECT_EQ(ResolvePort(0).path, "\\\\.\\COM1");
  EXPECT_EQ(ResolvePort(9).path, "\\\\.\\COM10");
  EXPECT_EQ(line.OpenDevice("\\\\.\\NUL"), 0);
  EXPECT_NE(line.LastOpenFailure().reason.find("not a serial port"), std::string::npos)
      << line.LastOpenFailure().reason;
}

// Run with --com 10: names of two digits open through the device namespace.
TEST_F(WineLine, Com10Opens) {
  ASSERT_EQ(line.OpenPort(9), 1) << line.LastOpenFailure().reason;
  Start();
  EXPECT_EQ(radio.ReadVersions().size(), 4u);
  line.Stop();
  ASSERT_EQ(line.OpenDevice("COM10"), 1) << line.LastOpenFailure().reason;
  EXPECT_EQ(line.Device(), "\\\\.\\COM10");
}

TEST_F(WineLine, StopWhileTheListenerIsBetweenItsCopyAndItsWait) {
  ASSERT_EQ(line.OpenPort(0), 1);
  // The listener holds still after it started its wait under the lock, until the stop has
  // begun: the release must end a wait that has not been waited for yet.
  Backend().SetListenerPauseHook([](ListenerPoint point) {
    if (point == ListenerPoint::BeforeWait) WaitForStop();
  });
  Start();
  StopAndCheck();
}

TEST_F(WineLine, StopJustAfterTheListenerLookedAtTheFlag) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Backend().SetListenerPauseHook([](ListenerPoint point) {
    if (point == ListenerPoint::BeforeCopy) WaitForStop();
  });
  Start();
  StopAndCheck();
}

// Counts the listener's waits (each pass reaches BeforeWait); when asked, holds the thread that
// releases it right after the release until the listener has armed the port and started a wait.
struct ReleaseSeam {
  static inline std::atomic<int> waits{0};
  static inline std::atomic<bool> holdNextRelease{false};
  static void Hook(ListenerPoint point) {
    if (point == ListenerPoint::BeforeWait) ++waits;
    if (point != ListenerPoint::Released || !holdNextRelease.exchange(false)) return;
    const int before = waits.load();
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (waits.load() == before && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
  }
};

// The listener sleeps with no port when one opens, and wakes and arms it before the opening
// thread has gone on from its release: whatever that thread does next, the port is heard.
TEST_F(WineLine, APortOpenedWhileTheListenerSleepsIsHeardWhicheverThreadGoesFirst) {
  EXPECT_EQ(line.OpenPort(MISSING_PORT), 0);
  Backend().SetListenerPauseHook(&ReleaseSeam::Hook);
  Start();
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (ReleaseSeam::waits.load() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  ReleaseSeam::holdNextRelease = true;
  ASSERT_EQ(line.OpenPort(RADIO_PORT), 1);
  EXPECT_FALSE(ReleaseSeam::holdNextRelease.load());
  EXPECT_EQ(radio.ReadVersions(), (Bytes{1, 3, 2, 0}));
  // And at every wait after the first: each reply comes in a wait of its own.
  EXPECT_TRUE(radio.StartWrite(0x0F));
  StopAndCheck();
}

// FTDI's driver's entry for an adapter: its key (with serial number and port letter) and the
// port it serves, as the driver writes it at install.
class FtdiEntries {
 public:
  ~FtdiEntries() {
    for (const std::wstring& key : keys_) (void)RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
  }
  bool Add(const wchar_t* serial, const wchar_t* port) {
    keys_.push_back(std::wstring(L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+") +
                    serial + L"A");
    const std::wstring parameters = keys_.back() + L"\\0000\\Device Parameters";
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, parameters.c_str(), L"PortName", REG_SZ, port,
                           static_cast<DWORD>((wcslen(port) + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
  }

 private:
  std::vector<std::wstring> keys_;
};

// FTDI's library (the stub beside the tests, which records every open and every change of a
// timer): the adapter behind COM1 runs at 1 ms from before its port opens until after it
// closes; one at 2 ms is left alone; an adapter behind another port is never even opened.
TEST_F(WineLine, AnFtdiAdaptersTimerIs1MsWhileItsPortIsOpen) {
  const std::string log = std::string(std::getenv("VANNOR_RADIO_FOLDER")) + "\\ftd2xx.log";
  ASSERT_EQ(_putenv_s("VANNOR_FTD2XX_ADAPTERS", "COM5=16/FTV5,COM2=2/FTV2,COM1=16/FTV1"), 0);
  ASSERT_EQ(_putenv_s("VANNOR_FTD2XX_LOG", log.c_str()), 0);
  FtdiEntries entries;
  ASSERT_TRUE(entries.Add(L"FTV5", L"COM5"));
  ASSERT_TRUE(entries.Add(L"FTV2", L"COM2"));
  ASSERT_TRUE(entries.Add(L"FTV1", L"COM1"));
  EXPECT_EQ(line.OpenPort(1), 0);  // COM2 leads nowhere
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  EXPECT_EQ(radio.ReadVersions().size(), 4u);
  line.Stop();
  std::ifstream in(log);
  std::vector<std::string> changes;
  for (std::string change; std::getline(in, change);) changes.push_back(change);
  EXPECT_EQ(changes, (std::vector<std::string>{"COM2 opened", "COM1 opened", "COM1 1 (port free)",
                                               "COM1 opened", "COM1 16 (port free)"}));
}

// The listener's own way of meeting a port that went away (the calls' ways are the contract's):
// it marks the port failed once and then sleeps. Run with --length 10 --hang-up-at 0.
TEST_F(WineLine, AFailedWaitMarksThePortFailed) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  ASSERT_TRUE(radio.StartWrite(0x0F));
  radio.Send({0x00});  // the radio closes the line when this arrives
  // Only the listener looks at the port: the window is told, and finds it failed.
  while (!line.PortFailed() && loop.Next(line)) {
  }
  EXPECT_TRUE(line.PortFailed());
  // The system's own code and words follow, as errno's words do on Linux.
  const std::string reason = line.FailureReason();
  EXPECT_EQ(reason.rfind("the port went away; was the adapter unplugged? (", 0), 0u) << reason;
  EXPECT_NE(reason.find(" (error "), std::string::npos) << reason;

  // Then no more posts, and no busy loop without them.
  const int heard = loop.Count();
  const auto cpuBefore = Backend().ListenerCpuTime();
  std::this_thread::sleep_for(500ms);
  EXPECT_LE(loop.Count(), heard + 1);
  EXPECT_LT(Backend().ListenerCpuTime() - cpuBefore, 250ms);
  StopAndCheck();
}

}  // namespace
}  // namespace vannor::test
