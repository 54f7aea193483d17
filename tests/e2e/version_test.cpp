// Ver Read over the whole link: the versions the radio reports, shown once per run.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "tests/e2e/link_fixture.h"

namespace vannor::e2e {
namespace {

TEST_F(LinkTest, VerReadShowsTheRadiosVersionsThenRefusesASecondTime) {
  Connect(RadioConfig{}, HeadlessHost::Timer::Manual);
  host->ClickVerRead();
  ASSERT_TRUE(radio.WaitBytesReceived(1, PROMPTLY));
  // No message ends a good version read; the labels change when the fourth byte is in.
  for (int i = 0; i < 2000 && host->Look()[Label::VersionDsp2] == "V00.00"; ++i) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(host->Look()[Label::VersionDsp1], "V01.03");
  EXPECT_EQ(host->Look()[Label::VersionDsp2], "V02.00");
  EXPECT_EQ(EngineState(), ProtocolState::Idle);
  EXPECT_FALSE(host->Look().timerRunning);
  EXPECT_TRUE(host->Messages().empty());

  host->ClickVerRead();
  EXPECT_EQ(NextMessage(), MSG_ONLY_ONCE);
  // And an Update is still possible after it.
  RadioConfig config;
  config.expectedLength = 5;
  radio.Reconfigure(config);
  host->ClickUpdate(WriteImage(MakeImage(5)));
  EXPECT_EQ(NextMessage(), MSG_COMPLETION);
  const sim::RadioRecord record = radio.Record();
  EXPECT_EQ(record.versionRequests, 1u);
  EXPECT_EQ(record.bytesReceived, 1u + 3 + 5);
}

TEST_F(LinkTest, VerReadShowsWhateverTheRadioReports) {
  RadioConfig config;
  const std::uint8_t values[4] = {10, 99, 100, 255};
  std::copy(values, values + 4, config.version);
  Connect(config, HeadlessHost::Timer::Manual);
  host->ClickVerRead();
  for (int i = 0; i < 2000 && host->Look()[Label::VersionDsp2] == "V00.00"; ++i) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(host->Look()[Label::VersionDsp1], "V10.99");
  EXPECT_EQ(host->Look()[Label::VersionDsp2], "V100.255");
}

// A Ver Read clicked while an Update waits for a silent radio is refused with a record of its
// own, and the Update keeps its record, with every byte the radio echoed.
TEST_F(LinkTest, AVerReadRefusedDuringAnUpdateLeavesBothRecords) {
  RadioConfig config;
  config.expectedLength = 300;
  config.silentFrom = 120;
  Connect(config, HeadlessHost::Timer::Manual);
  const std::string kept = home.Path() + "/history.jsonl";
  HistoryLog log(kept, "vannor", "1");
  host->KeepHistory(log);
  host->ClickUpdate(WriteImage(MakeImage(300)));
  ASSERT_TRUE(radio.WaitBytesReceived(120, PROMPTLY));
  host->ClickVerRead();
  EXPECT_EQ(NextMessage(), MSG_ONLY_ONCE);
  std::this_thread::sleep_for(milliseconds(100));
  ASSERT_TRUE(host->FireTimer());
  EXPECT_EQ(NextMessage(), MSG_COMMUNICATION_ERROR);
  std::vector<std::string> ends;
  std::uint32_t confirmed = 0;
  (void)ReadHistory(kept, [&](const HistoryRecord& r) {
    ends.push_back(r.request + " " + r.outcome);
    if (r.request == "update") confirmed = r.confirmed;
  });
  EXPECT_EQ(ends, (std::vector<std::string>{"version only-once", "update communication-error"}));
  EXPECT_EQ(confirmed, 120u);
}

TEST_F(LinkTest, VerReadIsRefusedAfterAnUpdateAndAShortReplyTimesOut) {
  RadioConfig config;
  config.expectedLength = 3;
  Connect(config, HeadlessHost::Timer::Manual);
  host->ClickUpdate(WriteImage(MakeImage(3)));
  EXPECT_EQ(NextMessage(), MSG_COMPLETION);
  host->ClickVerRead();
  EXPECT_EQ(NextMessage(), MSG_ONLY_ONCE);
  EXPECT_EQ(radio.Record().versionRequests, 0u);

  // A fresh run whose radio sends only two of the four bytes: the labels keep the template's
  // text, and the time-out ends the read.
  host.reset();
  radio.Stop();
  shown = 0;  // the new host has shown nothing yet
  config.versionReplyLength = 2;
  Connect(config, HeadlessHost::Timer::Manual);
  host->ClickVerRead();
  ASSERT_TRUE(radio.WaitBytesReceived(1, PROMPTLY));
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(EngineState(), ProtocolState::AwaitVersion3);
  ASSERT_TRUE(host->FireTimer());
  EXPECT_EQ(NextMessage(), MSG_COMMUNICATION_ERROR);
  EXPECT_EQ(host->Look()[Label::VersionDsp1], "V00.00");
  EXPECT_EQ(EngineState(), ProtocolState::Idle);
}

}  // namespace
}  // namespace vannor::e2e
