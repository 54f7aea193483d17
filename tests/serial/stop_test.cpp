// The stop sequence that End, Esc and the close box run: wherever the listener is in its loop,
// it ends at once and the port is closed afterwards.
#include <gtest/gtest.h>

#include <atomic>

#include "tests/serial/listener_fixture.h"

namespace vannor::test {
namespace {

// Far longer than a released wait takes, far shorter than a hang.
constexpr auto kPrompt = 2s;

// Set just before the test calls the stop sequence. The stop flag itself is the listener's
// own; a pause hook, which is a plain function, reaches this instead.
std::atomic<bool> stopBegun{false};

// Holds the listener until the stop sequence has begun, then a little longer: the stop sets its
// flag and releases the wait straight away.
void WaitForStop() {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!stopBegun.load() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  std::this_thread::sleep_for(10ms);
}

class StopTest : public ListenerFixture {
 protected:
  void SetUp() override {
    ListenerFixture::SetUp();
    stopBegun = false;
    descriptorsBefore = OpenDescriptorCount();
  }

  void TearDown() override {
    stopBegun = true;  // a test that failed early leaves no listener held in its hook
    ListenerFixture::TearDown();
  }

  void RunStop() {
    stopBegun = true;
    line.StopLink();
  }

  // Runs the stop sequence and checks that it was prompt and left nothing open.
  void StopAndCheck() {
    const auto started = std::chrono::steady_clock::now();
    RunStop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, kPrompt);
    EXPECT_FALSE(line.ListenerRunning());
    EXPECT_EQ(line.PortHandle(), INVALID_PORT_HANDLE);
    EXPECT_TRUE(PortIsFree(radio.SlavePath()));
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
  }

  // The window's End and cancel: the stop sequence, then the dialog ends, and records whether
  // the port was still open when it did.
  void End(const char* how) {
    RunStop();
    ends.push_back(std::string(how) +
                   (line.PortHandle() == INVALID_PORT_HANDLE ? "" : " with port"));
  }

  int descriptorsBefore = 0;
  std::vector<std::string> ends;
};

TEST_F(StopTest, WhileTheListenerWaitsOnAPort) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  ASSERT_TRUE(radio.Write({0x01}));
  ASSERT_TRUE(target.WaitForCount(1));  // it has been round its loop and waits again
  StopAndCheck();
}

TEST_F(StopTest, WhileTheListenerWaitsWithNoPort) {
  ASSERT_EQ(line.OpenPort(kMissingPort), 0);
  Start();
  std::this_thread::sleep_for(20ms);
  StopAndCheck();
}

TEST_F(StopTest, WhileTheListenerIsBetweenItsCopyAndItsWait) {
  ASSERT_EQ(line.OpenPort(0), 1);
  // The listener holds still after its copy until the stop has begun, so that its wait starts
  // after the stop released it.
  line.SetListenerPauseHook([](ListenerPoint point) {
    if (point == ListenerPoint::BeforeWait) WaitForStop();
  });
  Start();
  std::this_thread::sleep_for(20ms);
  StopAndCheck();
}

TEST_F(StopTest, WhenTheStopBeginsJustAfterTheListenerLookedAtTheFlag) {
  ASSERT_EQ(line.OpenPort(0), 1);
  // The listener has seen no stop yet and holds still until the stop has set the flag and
  // released the wait; its next step clears that release along with its copy of the port.
  line.SetListenerPauseHook([](ListenerPoint point) {
    if (point == ListenerPoint::BeforeCopy) WaitForStop();
  });
  Start();
  std::this_thread::sleep_for(20ms);
  StopAndCheck();
}

TEST_F(StopTest, RightAfterTheListenerPosted) {
  ASSERT_EQ(line.OpenPort(0), 1);
  // The window thread starts the stop while the post is still on its way out.
  std::atomic<bool> posting{false};
  target.onPost = [&posting] {
    posting = true;
    WaitForStop();
  };
  Start();
  ASSERT_TRUE(radio.Write({0x01}));
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!posting.load() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_TRUE(posting.load());
  StopAndCheck();
  EXPECT_EQ(target.Count(), 1);
}

TEST_F(StopTest, EndWithNoPortOpenEndsTheThreadThenTheDialog) {
  ASSERT_EQ(line.OpenPort(kMissingPort), 0);
  Start();
  End("ok");
  EXPECT_FALSE(line.ListenerRunning());
  EXPECT_EQ(ends, std::vector<std::string>{"ok"});
}

TEST_F(StopTest, EndAndCancelCloseThePortBeforeTheDialogEnds) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  End("cancel");
  EXPECT_EQ(ends, std::vector<std::string>{"cancel"});
  EXPECT_TRUE(PortIsFree(radio.SlavePath()));
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);

  // A second stop (the close box after End, say) finds nothing left to do.
  ASSERT_EQ(line.OpenPort(0), 1);
  Start();
  End("ok");
  End("cancel");
  EXPECT_EQ(ends, (std::vector<std::string>{"cancel", "ok", "cancel"}));
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

}  // namespace
}  // namespace vannor::test
