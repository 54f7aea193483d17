// Image write: the request, the two ACKs, the byte-by-byte echo and the progress display.
#include <gtest/gtest.h>

#include <memory>

#include "protocol/link_state.h"
#include "protocol/messages.h"
#include "protocol/protocol_engine.h"
#include "testing/temp_dir.h"
#include "tests/protocol/fake_engine_host.h"

namespace vannor::test {
namespace {

class UpdateTest : public ::testing::Test {
 protected:
  void ClickUpdateWith(const Bytes& image) {
    host.chosenPath = files.Write("dsp.out", image);
    host.ClickUpdate(*engine);
  }
  void Answer(const Bytes& bytes) {
    host.Receive(bytes);
    engine->OnCommNotify();
  }
  // Plays the radio for a whole image: ACK, ACK, then each echo in its own notification.
  void RunTransfer(const Bytes& image) {
    ClickUpdateWith(image);
    Answer({ACK});
    Answer({ACK});
    for (std::uint8_t b : image) Answer({b});
  }

  FakeEngineHost host;
  std::unique_ptr<ProtocolEngine> engine = host.MakeEngine();
  TempDir files;
};

TEST_F(UpdateTest, WorkedExampleThreeBytesWriteBoxesOnly) {
  host.checked[Box::Tavix3Dsp1] = false;
  host.checked[Box::Tavix3Dsp2] = false;
  // An ACK left on the line from before is flushed with the request, not taken as its answer.
  host.Receive({ACK});

  ClickUpdateWith({0xAA, 0xBB, 0xCC});
  EXPECT_EQ(host.discards, 1);
  EXPECT_TRUE(host.incoming.empty());
  ASSERT_EQ(host.writes.size(), 1u);
  EXPECT_EQ(host.writes[0], (Bytes{0x57, 0x05}));  // one write of two bytes
  EXPECT_EQ(engine->State().protocolState, ProtocolState::AwaitCommandAck);
  EXPECT_TRUE(host.timerRunning);
  EXPECT_EQ(host.timerPeriod, 5000);
  EXPECT_EQ(engine->State().commandIssued, 1);
  EXPECT_EQ(engine->State().imageLength, 3u);

  Answer({ACK});
  EXPECT_EQ(host.writes.back(), Bytes{ENQ});
  EXPECT_EQ(engine->State().protocolState, ProtocolState::AwaitStartAck);

  Answer({ACK});
  EXPECT_EQ(host.writes.back(), Bytes{0xAA});
  EXPECT_EQ(engine->State().protocolState, ProtocolState::Sending);
  EXPECT_EQ(engine->State().sendIndex, 0u);
  EXPECT_EQ(host.labels[Label::Percent], "0");  // untouched until the first echo

  Answer({0xAA});
  EXPECT_EQ(host.writes.back(), Bytes{0xBB});
  EXPECT_EQ(engine->State().sendIndex, 1u);
  EXPECT_EQ(host.labels[Label::Percent], "33");

  Answer({0xBB});
  EXPECT_EQ(host.writes.back(), Bytes{0xCC});
  EXPECT_EQ(engine->State().sendIndex, 2u);
  EXPECT_EQ(host.labels[Label::Percent], "66");

  Answer({0xCC});
  EXPECT_EQ(host.writes.size(), 5u);  // nothing after the last echo
  EXPECT_EQ(engine->State().sendIndex, 3u);
  EXPECT_EQ(engine->State().protocolState, ProtocolState::Idle);
  EXPECT_FALSE(host.timerRunning);
  EXPECT_EQ(host.labels[Label::Percent], "100");
  EXPECT_EQ(host.progress, 100);
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_COMPLETION)});
  EXPECT_EQ(host.AllWritten(), (Bytes{0x57, 0x05, 0x05, 0xAA, 0xBB, 0xCC}));
}

// Every combination of the four boxes; without a write box no request goes out at all.
TEST_F(UpdateTest, SelectionMaskFollowsTheBoxes) {
  struct Case {
    bool write1, tavix1, write2, tavix2;
    int mask;  // -1: " DSP Select Error !!! ", nothing sent
  };
  const Case cases[] = {
      {false, false, false, false, -1},  {true, false, false, false, 0x01},
      {false, true, false, false, -1},   {true, true, false, false, 0x03},
      {false, false, true, false, 0x04}, {true, false, true, false, 0x05},
      {false, true, true, false, 0x06},  {true, true, true, false, 0x07},
      {false, false, false, true, -1},   {true, false, false, true, 0x09},
      {false, true, false, true, -1},    {true, true, false, true, 0x0B},
      {false, false, true, true, 0x0C},  {true, false, true, true, 0x0D},
      {false, true, true, true, 0x0E},   {true, true, true, true, 0x0F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    engine = host.MakeEngine();
    host.writes.clear();
    host.messages.clear();
    host.checked = {{Box::WriteDsp1, c.write1},
                    {Box::Tavix3Dsp1, c.tavix1},
                    {Box::WriteDsp2, c.write2},
                    {Box::Tavix3Dsp2, c.tavix2}};
    ClickUpdateWith({0x01});
    if (c.mask < 0) {
      EXPECT_TRUE(host.writes.empty());
      EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_DSP_SELECT_ERROR)});
    } else {
      ASSERT_EQ(host.writes.size(), 1u);
      EXPECT_EQ(host.writes[0], (Bytes{0x57, static_cast<std::uint8_t>(c.mask)}));
    }
  }
}

TEST_F(UpdateTest, TavixBoxesAloneAreNoChoiceOfDsp) {
  host.checked[Box::WriteDsp1] = false;
  host.checked[Box::WriteDsp2] = false;
  ClickUpdateWith({0x01});
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_DSP_SELECT_ERROR)});
  EXPECT_EQ(host.fileDialogs, 0);
  EXPECT_TRUE(host.writes.empty());
  EXPECT_EQ(engine->State().commandIssued, 0);
  EXPECT_EQ(engine->State().protocolState, ProtocolState::Idle);
}

TEST_F(UpdateTest, UpdateIsIgnoredWhileAnExchangeRuns) {
  ClickUpdateWith({0x01, 0x02});
  Answer({ACK});
  host.chosenPath = files.Write("other.out", {0x09});
  host.ClickUpdate(*engine);
  EXPECT_EQ(host.fileDialogs, 1);
  EXPECT_EQ(host.writes.size(), 2u);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(engine->State().protocolState, ProtocolState::AwaitStartAck);
  EXPECT_EQ(engine->State().imageLength, 2u);
}

TEST_F(UpdateTest, OneByteImageEndsAtOneHundredPercent) {
  RunTransfer({0x42});
  EXPECT_EQ(host.progress, 100);
  EXPECT_EQ(host.percentHistory, std::vector<std::string>{"100"});
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_COMPLETION)});
}

TEST_F(UpdateTest, LongImageShowsEachPercentOnceAtTheRightByte) {
  Bytes image(250);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  ClickUpdateWith(image);
  Answer({ACK});
  Answer({ACK});
  Answer({image[0]});
  EXPECT_EQ(host.labels[Label::Percent], "00");
  Answer({image[1]});
  EXPECT_EQ(host.labels[Label::Percent], "00");
  Answer({image[2]});
  EXPECT_EQ(host.labels[Label::Percent], "01");
  for (std::size_t i = 3; i < image.size(); ++i) Answer({image[i]});
  EXPECT_EQ(host.labels[Label::Percent], "100");
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_COMPLETION)});

  // Every value from 00 to 100 appears once, in order, and the bar follows the label.
  ASSERT_EQ(host.percentHistory.size(), 101u);
  for (int p = 0; p <= 100; ++p) {
    EXPECT_EQ(std::stoi(host.percentHistory[p]), p);
    EXPECT_EQ(host.progressHistory[p], p);
  }
  EXPECT_EQ(host.AllWritten().size(), 2u + 1u + image.size());
}

TEST_F(UpdateTest, SecondUpdateStartsFromWhatTheFirstLeftAndWorks) {
  RunTransfer({0x10, 0x20});
  host.messages.clear();
  host.percentHistory.clear();
  ClickUpdateWith({0x30, 0x40, 0x50, 0x60});
  EXPECT_EQ(host.labels[Label::Percent], "100");
  EXPECT_EQ(host.progress, 100);
  Answer({ACK, ACK});
  Answer({0x30});
  EXPECT_EQ(host.labels[Label::Percent], "25");
  Answer({0x40});
  Answer({0x50});
  Answer({0x60});
  EXPECT_EQ(host.percentHistory, (std::vector<std::string>{"25", "50", "75", "100"}));
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_COMPLETION)});
}

TEST_F(UpdateTest, EveryByteValueIsSentAsStored) {
  Bytes image(256);
  for (int i = 0; i < 256; ++i) image[i] = static_cast<std::uint8_t>(255 - i);
  RunTransfer(image);
  const Bytes sent = host.AllWritten();
  ASSERT_EQ(sent.size(), 3u + 256u);
  EXPECT_EQ(Bytes(sent.begin() + 3, sent.end()), image);
}

TEST_F(UpdateTest, RefusedFileChoicesSendNothingAndLeaveVerReadPossible) {
  host.chosenPath.clear();  // cancelled
  host.ClickUpdate(*engine);
  host.chosenPath = files.Write("dsp.OUT", {1});
  host.ClickUpdate(*engine);
  host.chosenPath = files.Path() + "/missing.out";
  host.ClickUpdate(*engine);
  host.chosenPath = files.Write("empty.out", {});
  host.ClickUpdate(*engine);

  EXPECT_EQ(host.messages,
            (std::vector<std::string>{std::string(MSG_FILE_ERROR), std::string(MSG_FILE_OPEN_ERROR),
                                      std::string(MSG_FILE_SIZE_ERROR)}));
  EXPECT_TRUE(host.writes.empty());
  EXPECT_FALSE(host.timerRunning);
  EXPECT_EQ(engine->State().commandIssued, 0);

  host.ClickVerRead(*engine);
  EXPECT_EQ(host.AllWritten(), Bytes{0x56});
}

}  // namespace
}  // namespace vannor::test
