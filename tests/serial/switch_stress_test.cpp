// Thousands of port switches between two live ports while both radios stream bytes and the
// window thread reads, then the stop: run under ThreadSanitizer this shows that the listener
// and the switch share the port handle safely, never deadlock and leave no descriptor behind.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "serial/port_switch.h"
#include "tests/serial/serial_test_support.h"

namespace vannor::test {
namespace {

// Streams bytes into the radio's end until told to stop, and reads away whatever the tool
// sends, so that neither direction fills up.
void Stream(FarEnd& radio, std::atomic<bool>& stop, std::atomic<long>& sent) {
  std::uint8_t value = 0;
  std::uint8_t sink[256];
  while (!stop.load()) {
    const std::uint8_t burst[4] = {value, static_cast<std::uint8_t>(value + 1),
                                   static_cast<std::uint8_t>(value + 2),
                                   static_cast<std::uint8_t>(value + 3)};
    const ssize_t n = write(radio.Master(), burst, sizeof burst);
    if (n > 0) {
      sent += n;
      value = static_cast<std::uint8_t>(value + n);
    }
    while (read(radio.Master(), sink, sizeof sink) > 0) {
    }
    std::this_thread::sleep_for(50us);
  }
}

TEST(SwitchStressTest, ThousandsOfSwitchesWhileBytesStreamThenStop) {
  PortMap map;
  FarEnd first;
  FarEnd second;
  ASSERT_TRUE(first.Ok() && second.Ok());
  ASSERT_TRUE(map.Map(0, first.SlavePath()));
  ASSERT_TRUE(map.Map(1, second.SlavePath()));
  const int descriptorsBefore = OpenDescriptorCount();

  std::atomic<bool> stopStreams{false};
  std::atomic<long> sent{0};
  std::thread streamFirst(Stream, std::ref(first), std::ref(stopStreams), std::ref(sent));
  std::thread streamSecond(Stream, std::ref(second), std::ref(stopStreams), std::ref(sent));

  CountingTarget target;
  PosixLine line;
  ASSERT_EQ(line.OpenPort(0), 1);
  ASSERT_TRUE(line.StartListener(target));

  FakePortList list{line};
  int portIndex = 0;
  long received = 0;
  int lastSeen = 0;
  constexpr int kSwitches = 3000;
  for (int i = 1; i <= kSwitches; ++i) {
    list.selection = i % 2;
    OnPortSelChange(list, line, portIndex);
    ASSERT_EQ(portIndex, i % 2);
    // Now and then the window thread lets the radios' bytes catch up with the switching.
    if (i % 8 == 0) (void)target.WaitForCount(lastSeen + 1, 1ms);
    // The window thread's share: handle what the listener announced, answer with a byte.
    const int posts = target.Count();
    if (posts != lastSeen) {
      lastSeen = posts;
      std::uint8_t chunk[100];
      std::size_t waiting = line.PendingCount();
      while (waiting > 0) {
        const std::size_t got = line.Read(chunk, std::min(waiting, sizeof chunk));
        if (got == 0) break;
        received += static_cast<long>(got);
        waiting -= got;
      }
      line.Write(chunk, 1);
    }
  }
  line.StopLink();
  stopStreams = true;
  streamFirst.join();
  streamSecond.join();

  EXPECT_EQ(list.notUsableShown, 0);
  EXPECT_FALSE(line.ListenerRunning());
  EXPECT_EQ(line.PortHandle(), INVALID_PORT_HANDLE);
  EXPECT_GT(target.Count(), 0);
  EXPECT_GT(received, 0);
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

// Picking the open port again closes and reopens it at once. Bytes keep arriving, so the
// listener is often inside the kernel's poll of that very port when it closes: the reopen must
// still find the port free every time.
TEST(SwitchStressTest, ReopeningTheSamePortWhileBytesArriveNeverFails) {
  PortMap map;
  FarEnd radio;
  ASSERT_TRUE(radio.Ok());
  ASSERT_TRUE(map.Map(0, radio.SlavePath()));
  std::atomic<bool> stopStream{false};
  std::atomic<long> sent{0};
  std::thread stream(Stream, std::ref(radio), std::ref(stopStream), std::ref(sent));

  CountingTarget target;
  PosixLine line;
  ASSERT_EQ(line.OpenPort(0), 1);
  ASSERT_TRUE(line.StartListener(target));
  FakePortList list{line};
  int portIndex = 0;
  int failures = 0;
  for (int i = 0; i < 10000; ++i) {
    OnPortSelChange(list, line, portIndex);
    if (line.PortHandle() == INVALID_PORT_HANDLE) ++failures;
    std::uint8_t chunk[100];
    (void)line.Read(chunk, sizeof chunk);  // keep the input queue short
  }
  line.StopLink();
  stopStream = true;
  stream.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(list.notUsableShown, 0);
}

}  // namespace
}  // namespace vannor::test
