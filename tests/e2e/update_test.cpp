// Update over the whole link: the radio receives exactly the file, with the mask of the boxes.
#include <gtest/gtest.h>

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
  const ControlId boxes[4] = {IDC_WRITE_DSP1, IDC_TAVIX3_DSP1, IDC_WRITE_DSP2, IDC_TAVIX3_DSP2};
  for (int i = 0; i < 4; ++i) host->SetChecked(boxes[i], t.boxes[i]);

  host->ClickUpdate(WriteImage(image));
  EXPECT_EQ(NextMessage(TRANSFER), MSG_COMPLETION);
  EXPECT_EQ(host->Progress(), 100);
  EXPECT_EQ(host->Label(IDC_PERCENT), "100");
  EXPECT_EQ(EngineState(), ProtocolState::Idle);
  EXPECT_FALSE(host->TimerRunning());

  const sim::RadioRecord record = radio.Record();
  EXPECT_EQ(record.mask, t.mask);
  EXPECT_EQ(record.writeRequests, 1u);
  EXPECT_EQ(record.imageLength, t.length);
  EXPECT_TRUE(radio.Image() == image) << "the radio's copy differs from the file";
  EXPECT_EQ(record.bytesReceived, 3 + t.length);  // request, ENQ, image: nothing else
  EXPECT_EQ(record.strayBytes + record.protocolErrors, 0u);
  EXPECT_EQ(host->Counts().timerExpiries, 0u);
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

}  // namespace
}  // namespace vannor::e2e
