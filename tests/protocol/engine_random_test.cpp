// Long random runs of clicks, radio bytes, bursts and time-outs, checking after every event the
// rules that must hold whatever the radio or the user does.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "image/image_loader.h"
#include "protocol/link_state.h"
#include "protocol/messages.h"
#include "protocol/protocol_engine.h"
#include "testing/temp_dir.h"
#include "tests/protocol/fake_engine_host.h"

namespace vannor::test {
namespace {

// Counts the image bytes sent in the current exchange, so that bytes in flight can be checked.
class CountingHost : public FakeEngineHost {
 public:
  bool Write(const std::uint8_t* bytes, std::size_t count) override {
    if (engine->State().protocolState == ProtocolState::Sending) imageBytesSent += count;
    return FakeEngineHost::Write(bytes, count);
  }
  std::size_t imageBytesSent = 0;
  const ProtocolEngine* engine = nullptr;
};

// Images of the lengths a run picks from (1 byte a quarter of the time, else 1 to 300), with
// random bytes, written once and left to settle as a user's files are: the loader reads a file
// changed just before a second time.
class ImageShelf {
 public:
  ImageShelf() {
    std::mt19937 rng(7);
    auto roll = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    for (int i = 0; i < 16; ++i) {
      Bytes image(roll(4) == 0 ? 1 : 1 + roll(300));
      for (auto& b : image) b = static_cast<std::uint8_t>(roll(256));
      paths_.push_back(files_.Write("img" + std::to_string(i) + ".out", image));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * IMAGE_SETTLE_MS));
  }
  const std::string& Pick(int index) const { return paths_[static_cast<std::size_t>(index)]; }
  int Count() const { return static_cast<int>(paths_.size()); }

 private:
  TempDir files_;
  std::vector<std::string> paths_;
};

class RandomRun {
 public:
  RandomRun(unsigned seed, const ImageShelf& images) : rng_(seed), images_(images) {
    host_.engine = &engine_;
    // Half the runs leave the quiet periods before a request to the random time-outs, so that
    // random bytes fall into them too.
    host_.quietLine = seed % 2 == 0;
  }

  void Run(int events) {
    for (int e = 0; e < events && !::testing::Test::HasFailure(); ++e) {
      Step();
      Check();
    }
  }

  int completions = 0;

 private:
  int Roll(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  // What a mostly well-behaved radio would answer now; sometimes anything at all.
  std::uint8_t RadioByte() {
    if (Roll(40) == 0) return static_cast<std::uint8_t>(Roll(256));
    switch (engine_.State().protocolState) {
      case ProtocolState::AwaitCommandAck:
      case ProtocolState::AwaitStartAck:
        return ACK;
      case ProtocolState::Sending:
        return engine_.State().image[engine_.State().sendIndex];
      default:
        return static_cast<std::uint8_t>(Roll(256));
    }
  }

  void Step() {
    const int kind = Roll(100);
    const std::size_t writesBefore = host_.writes.size();
    bool click = false;
    if (kind < 4) {
      host_.checked[Box::WriteDsp1] = Roll(3) != 0;
      host_.checked[Box::WriteDsp2] = Roll(3) != 0;
      host_.chosenPath = Roll(10) == 0 ? std::string() : images_.Pick(Roll(images_.Count()));
      // A click that starts an exchange starts it with no image byte sent; the image is the
      // engine's from the click on, though its request waits for a quiet line.
      if (!engine_.Busy()) host_.imageBytesSent = 0;
      host_.ClickUpdate(engine_);
      click = true;
    } else if (kind < 6) {
      host_.ClickVerRead(engine_);
      click = true;
    } else if (kind < 8) {
      host_.Expire(engine_);
    } else if (kind < 12) {
      // A burst: several answers queued before one notification.
      const int n = 1 + Roll(250);
      for (int i = 0; i < n; ++i) host_.Receive({static_cast<std::uint8_t>(Roll(256))});
      engine_.OnCommNotify();
    } else if (kind < 14) {
      engine_.OnCommNotify();  // a late notification that finds nothing
    } else {
      host_.Receive({RadioByte()});
      engine_.OnCommNotify();
    }
    if (click) afterCompletion_ = false;
    if (afterCompletion_) {
      EXPECT_EQ(host_.writes.size(), writesBefore) << "sent after completion";
    }
    if (host_.messages.size() > messagesSeen_) {
      if (host_.messages.back() == MSG_COMPLETION) {
        ++completions;
        afterCompletion_ = true;
      }
      messagesSeen_ = host_.messages.size();
    }
  }

  void Check() {
    const bool idle = engine_.State().protocolState == ProtocolState::Idle;
    ASSERT_EQ(host_.timerRunning, !idle) << "timer must run exactly while an exchange runs";
    ASSERT_LE(engine_.State().sendIndex, engine_.State().imageLength);
    ASSERT_LE(engine_.State().imageLength, IMAGE_CAPACITY);
    ASSERT_EQ(host_.maxReadOverPending, 0u);
    for (std::size_t r : host_.readRequests) ASSERT_LE(r, RX_CHUNK);
    host_.readRequests.clear();
    if (engine_.State().protocolState == ProtocolState::Sending) {
      ASSERT_EQ(host_.imageBytesSent, engine_.State().sendIndex + 1u) << "one image byte in flight";
    }
    ASSERT_LE(host_.imageBytesSent, engine_.State().imageLength);
  }

  std::mt19937 rng_;
  CountingHost host_;
  ProtocolEngine engine_{host_, host_};
  const ImageShelf& images_;
  std::size_t messagesSeen_ = 0;
  bool afterCompletion_ = false;
};

TEST(EngineRandomTest, InvariantsHoldOverLongRandomRuns) {
  int completions = 0;
  const ImageShelf images;
  for (unsigned seed = 1; seed <= 24; ++seed) {
    SCOPED_TRACE(seed);
    RandomRun run(seed, images);
    run.Run(4000);
    completions += run.completions;
  }
  // The runs must reach the end of transfers, not only fail early.
  EXPECT_GT(completions, 0);
}

}  // namespace
}  // namespace vannor::test
