// Update over the whole link: the radio receives exactly the file, with the mask of the boxes.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/e2e/link_fixture.h"

namespace vannor::e2e {
namespace {

struct Transfer {
  std::size_t length;
  bool boxes[4];  // Write DSP1, Tavix3 DSP1, Write DSP2, Tavix3 DSP2
  std::uint8_t mask;
};

void PrintTo(const Transfer& t, std::ostream* out) {
  *out << t.length << " bytes, mask " << int{t.mask};
}

class UpdateTest : public LinkTest, public ::testing::WithParamInterface<Transfer> {};

TEST_P(UpdateTest, TheRadioReceivesTheFileByteForByte) {
  const Transfer& t = GetParam();
  const Bytes image = MakeImage(t.length);
  RadioConfig config;
  config.expectedLength = static_cast<std::uint32_t>(t.length);
  Connect(config, HeadlessHost::Timer::Real);
  const Box boxes[4] = {Box::WriteDsp1, Box::Tavix3Dsp1, Box::WriteDsp2, Box::Tavix3Dsp2};
  for (int i = 0; i < 4; ++i) host->SetChecked(boxes[i], t.boxes[i]);

  host->ClickUpdate(WriteImage(image));
  EXPECT_EQ(NextMessage(TRANSFER), MSG_COMPLETION);
  EXPECT_EQ(host->Look().progress, 100);
  EXPECT_EQ(host->Look()[Label::Percent], "100");
  EXPECT_EQ(EngineState(), ProtocolState::Idle);
  EXPECT_FALSE(host->Look().timerRunning);

  const sim::RadioRecord record = radio.Record();
  EXPECT_EQ(record.mask, t.mask);
  EXPECT_EQ(record.writeRequests, 1u);
  EXPECT_EQ(record.imageLength, t.length);
  EXPECT_TRUE(radio.Image() == image) << "the radio's copy differs from the file";
  EXPECT_EQ(record.bytesReceived, 3 + t.length);  // request, ENQ, image: nothing else
  EXPECT_EQ(record.strayBytes + record.protocolErrors, 0u);
  EXPECT_EQ(host->Look().counts.timerExpiries, 0u);
}

INSTANTIATE_TEST_SUITE_P(ImageSizes, UpdateTest,
                         ::testing::Values(Transfer{1, {true, true, true, true}, 0x0F},
                                           Transfer{100, {false, false, true, false}, 0x04},
                                           Transfer{101, {true, false, false, true}, 0x09},
                                           Transfer{250, {true, false, true, false}, 0x05},
                                           Transfer{65536, {true, true, false, false}, 0x03},
                                           Transfer{200000, {false, false, true, true}, 0x0C}),
                         [](const ::testing::TestParamInfo<Transfer>& info) {
                           return "Bytes" + std::to_string(info.param.length);
                         });

// Two links in one process, each with its own engine, line and port watch, Updating at once: each
// radio gets its own image with its own mask, and a fault on one leaves the other untouched.
TEST_F(LinkTest, TwoLinksInOneProcessShareNothing) {
  const Bytes first = MakeImage(3000);
  Bytes second = MakeImage(2000);
  std::reverse(second.begin(), second.end());
  RadioConfig config;
  config.expectedLength = 3000;
  Connect(config, HeadlessHost::Timer::Real);
  sim::RadioSimulator otherRadio;
  RadioConfig faulty;
  faulty.wrongEchoAt = 1500;
  ASSERT_TRUE(otherRadio.Start(faulty));
  ASSERT_TRUE(otherRadio.MapPort(home.Path(), 2));
  HeadlessHost other(HeadlessHost::Timer::Real);
  ASSERT_EQ(other.OpenAndListen(1), 1);
  other.SetChecked(Box::WriteDsp1, false);
  other.SetChecked(Box::Tavix3Dsp1, false);
  host->SetChecked(Box::Tavix3Dsp2, false);

  host->ClickUpdate(WriteImage(first, "first.out"));
  other.ClickUpdate(WriteImage(second, "second.out"));
  ASSERT_TRUE(other.WaitForMessages(1, TRANSFER));
  EXPECT_EQ(other.Messages()[0], MSG_COMMUNICATION_ERROR);
  EXPECT_EQ(NextMessage(TRANSFER), MSG_COMPLETION);

  EXPECT_EQ(radio.Record().mask, 0x07);
  EXPECT_TRUE(radio.Image() == first);
  EXPECT_EQ(radio.Record().protocolErrors + radio.Record().strayBytes, 0u);
  EXPECT_EQ(otherRadio.Record().mask, 0x0C);
  EXPECT_EQ(otherRadio.Image(), Bytes(second.begin(), second.begin() + 1501));
  EXPECT_EQ(host->Look()[Label::Percent], "100");
  EXPECT_EQ(other.Look()[Label::Percent], "75");  // 1500 of 2000 confirmed
  EXPECT_EQ(other.Look().state, ProtocolState::Idle);
}

}  // namespace
}  // namespace vannor::e2e
