// The stop sequence that End, Esc and the close box run: wherever the listener is in its loop,
// it ends at once and the port is closed afterwards.
#include <gtest/gtest.h>

#include "tests/serial/listener_fixture.h"

namespace vannor::test {
namespace {

// Far longer than a released wait takes, far shorter than a hang.
constexpr auto kPrompt = 2s;

class FakeDialog : public DialogCloser {
 public:
  std::vector<std::string> ends;
  void EndDialogOk() override { ends.push_back(ClosedState("ok")); }
  void EndDialogCancel() override { ends.push_back(ClosedState("cancel")); }

 private:
  // The dialog may end only after the listener and the port are gone.
  static std::string ClosedState(const char* how) {
    return std::string(how) + (linkState.portHandle == INVALID_PORT_HANDLE ? "" : " with port");
  }
};

class StopTest : public ListenerFixture {
 protected:
  void SetUp() override {
    ListenerFixture::SetUp();
    descriptorsBefore = OpenDescriptorCount();
  }

  // Runs the stop sequence and checks that it was prompt and left nothing open.
  void StopAndCheck() {
    const auto started = std::chrono::steady_clock::now();
    StopLink(listener);
    EXPECT_LT(std::chrono::steady_clock::now() - started, kPrompt);
    EXPECT_EQ(listener, nullptr);
    EXPECT_EQ(linkState.portHandle, INVALID_PORT_HANDLE);
    EXPECT_TRUE(PortIsFree(radio.SlavePath()));
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
  }

  int descriptorsBefore = 0;
};

void WaitForStopFlag() {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (linkState.stopListener.load() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
}

TEST_F(StopTest, WhileTheListenerWaitsOnAPort) {
  ASSERT_EQ(OpenPort(0), 1);
  Start();
  ASSERT_TRUE(radio.Write({0x01}));
  ASSERT_TRUE(target.WaitForCount(1));  // it has been round its loop and waits again
  StopAndCheck();
}

TEST_F(StopTest, WhileTheListenerWaitsWithNoPort) {
  ASSERT_EQ(OpenPort(kMissingPort), 0);
  Start();
  std::this_thread::sleep_for(20ms);
  StopAndCheck();
}

TEST_F(StopTest, WhileTheListenerIsBetweenItsCopyAndItsWait) {
  ASSERT_EQ(OpenPort(0), 1);
  // The listener holds still after its copy until the stop has begun, so that its wait starts
  // after the stop released it.
  listenerPauseHook.store([](ListenerPoint point) {
    if (point == ListenerPoint::BeforeWait) WaitForStopFlag();
  });
  Start();
  std::this_thread::sleep_for(20ms);
  StopAndCheck();
}

TEST_F(StopTest, WhenTheStopBeginsJustAfterTheListenerLookedAtTheFlag) {
  ASSERT_EQ(OpenPort(0), 1);
  // The listener has seen no stop yet and holds still until the stop has set the flag and
  // released the wait; its next step clears that release along with its copy of the port.
  listenerPauseHook.store([](ListenerPoint point) {
    if (point != ListenerPoint::BeforeCopy) return;
    WaitForStopFlag();
    std::this_thread::sleep_for(10ms);  // the release follows the flag at once
  });
  Start();
  std::this_thread::sleep_for(20ms);
  StopAndCheck();
}

TEST_F(StopTest, RightAfterTheListenerPosted) {
  ASSERT_EQ(OpenPort(0), 1);
  // The window thread starts the stop while the post is still on its way out.
  std::atomic<bool> posting{false};
  target.onPost = [&posting] {
    posting = true;
    WaitForStopFlag();
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
  ASSERT_EQ(OpenPort(kMissingPort), 0);
  Start();
  FakeDialog dialog;
  OnEnd(dialog, listener);
  EXPECT_EQ(listener, nullptr);
  EXPECT_EQ(dialog.ends, std::vector<std::string>{"ok"});
}

TEST_F(StopTest, EndAndCancelCloseThePortBeforeTheDialogEnds) {
  ASSERT_EQ(OpenPort(0), 1);
  Start();
  FakeDialog dialog;
  OnCancelClose(dialog, listener);
  EXPECT_EQ(dialog.ends, std::vector<std::string>{"cancel"});
  EXPECT_TRUE(PortIsFree(radio.SlavePath()));
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);

  // A second stop (the close box after End, say) finds nothing left to do.
  linkState.stopListener = 0;
  ASSERT_EQ(OpenPort(0), 1);
  Start();
  OnEnd(dialog, listener);
  OnCancelClose(dialog, listener);
  EXPECT_EQ(dialog.ends, (std::vector<std::string>{"cancel", "ok", "cancel"}));
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

}  // namespace
}  // namespace vannor::test
