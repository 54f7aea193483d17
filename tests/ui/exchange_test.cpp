// Update and Ver Read through the real window against the radio simulator: the bytes the radio
// receives, and what the window's own controls show afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/checkbox.h>
#include <wx/frame.h>
#include <wx/gauge.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <vector>

#include "history/history_record.h"
#include "protocol/messages.h"
#include "res/resource.h"
#include "testing/captured_stderr.h"
#include "testing/scoped_env.h"
#include "testing/temp_dir.h"
#include "tests/ui/window_fixture.h"
#include "ui/dialog_builder.h"
#include "ui/history_dlg.h"
#include "ui/port_watch.h"

namespace vannor::uitest {
namespace {

using testing::ElementsAre;

// Every byte value, the line's control characters among them, then noise.
std::vector<std::uint8_t> TestImage(std::size_t length) {
  std::vector<std::uint8_t> image(length);
  std::mt19937 random(7);
  for (std::size_t i = 0; i < length; ++i) {
    image[i] = i < 256 ? static_cast<std::uint8_t>(i) : static_cast<std::uint8_t>(random());
  }
  return image;
}

class ExchangeTest : public WindowTest {};

// Windows' timers may fire a moment early: the window's timer, stopped by its firing, is then set
// again for the rest, and the exchange goes on with its deadline unchanged.
TEST_F(ExchangeTest, AResponseTimerThatFiresEarlyWaitsForTheRest) {
  sim::RadioConfig config;
  config.versionReplyLength = 0;  // the radio never answers
  StartRadio(1, config);
  ShowWindow();
  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] {
    return window->RadioLink().State().protocolState == ProtocolState::AwaitVersion1 &&
           !window->RadioLink().AwaitingQuietLine();
  }));
  const auto deadline = window->RadioLink().Deadline();
  ASSERT_TRUE(deadline.has_value());
  window->RadioHost().OnTimer(*deadline - std::chrono::milliseconds(1));
  EXPECT_EQ(window->RadioLink().State().protocolState, ProtocolState::AwaitVersion1);
  EXPECT_EQ(window->RadioLink().Deadline(), deadline);
  EXPECT_TRUE(window->RadioHost().TimerRunning());
  EXPECT_TRUE(modals.Messages().empty());
}

// A loop run inside the port's own call (a box at an exchange's end) does not call it again:
// what arrives meanwhile is heard once that call has returned.
TEST_F(ExchangeTest, APortCallThatRunsALoopIsNotCalledInsideIt) {
  int line[2];
  ASSERT_EQ(pipe(line), 0);
  wxFrame owner{nullptr, wxID_ANY, "owner"};
  std::string heard;
  int depth = 0;
  int deepest = 0;
  {
    PortWatch watch(
        owner,
        [&](bool) {
          deepest = std::max(deepest, ++depth);
          char byte = 0;
          if (read(line[0], &byte, 1) == 1) heard += byte;
          if (heard == "a") {
            EXPECT_EQ(write(line[1], "b", 1), 1);
            PumpFor(std::chrono::milliseconds(50));  // the box's loop
          }
          --depth;
        },
        [&] { return line[0]; });
    watch.PortEvent();
    ASSERT_EQ(write(line[1], "a", 1), 1);
    EXPECT_TRUE(PumpUntil([&] { return heard.size() == 2; }));
  }
  EXPECT_EQ(heard, "ab");
  EXPECT_EQ(deepest, 1);
  (void)close(line[0]);  // ours; nothing is left to read or write
  (void)close(line[1]);
}

TEST_F(ExchangeTest, UpdateSendsTheWholeImageAndEndsAtOneHundredPercent) {
  const std::vector<std::uint8_t> image = TestImage(300);
  sim::RadioConfig config;
  config.expectedLength = static_cast<std::uint32_t>(image.size());
  sim::RadioSimulator& radio = StartRadio(1, config);
  testkit::TempDir folder;
  // A Japanese name: the path crosses the toolkit, which keeps the "C" locale, unchanged.
  modals.AnswerFileDialog(folder.Write("DSPイメージ v2.out", image));
  ShowWindow();

  // DSP1 Write and DSP2 Tavix3 only: the mask 0x09.
  ClickOn(Get<wxWindow>(IDC_TAVIX3_DSP1));
  ClickOn(Get<wxWindow>(IDC_WRITE_DSP2));
  ASSERT_TRUE(PumpUntil([&] {
    return !Get<wxCheckBox>(IDC_TAVIX3_DSP1).GetValue() &&
           !Get<wxCheckBox>(IDC_WRITE_DSP2).GetValue();
  }));
  ClickOn(Get<wxWindow>(IDC_UPDATE));
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));

  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_COMPLETION)));
  EXPECT_EQ(modals.Messages()[0].caption, "");
  EXPECT_THAT(modals.FileFilters(), ElementsAre("out file|*.out"));
  EXPECT_EQ(Get<wxGauge>(IDC_PROGRESS).GetValue(), 100);
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_PERCENT)), "100");
  EXPECT_EQ(window->RadioLink().State().protocolState, ProtocolState::Idle);

  ASSERT_TRUE(radio.WaitImageOver(PATIENCE));
  const sim::RadioRecord record = radio.Record();
  EXPECT_EQ(record.writeRequests, 1u);
  EXPECT_EQ(record.mask, 0x09);
  EXPECT_EQ(record.protocolErrors, 0u);
  EXPECT_EQ(radio.Image(), image);
  // Nothing went out after the last echo.
  EXPECT_EQ(record.strayBytes, 0u);
}

TEST_F(ExchangeTest, VerReadShowsBothVersionsAndIsRefusedTheSecondTime) {
  sim::RadioConfig config;
  config.version[0] = 1;
  config.version[1] = 3;
  config.version[2] = 2;
  config.version[3] = 0;
  sim::RadioSimulator& radio = StartRadio(1, config);
  testkit::ScopedEnv noDebug("VANNOR_DEBUG", nullptr);
  testkit::CapturedStderr errors;
  ASSERT_TRUE(errors.Ok());
  ShowWindow();

  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] { return LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)) != "V00.00"; }));
  // No trace unless VANNOR_DEBUG asks for one.
  EXPECT_EQ(errors.Text().find("vannor:"), std::string::npos);
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP1)), "V01.03");
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)), "V02.00");
  // A version read that succeeds says nothing.
  EXPECT_TRUE(modals.Messages().empty());
  EXPECT_EQ(window->RadioLink().State().protocolState, ProtocolState::Idle);

  ClickOn(Get<wxWindow>(IDC_VER_READ));
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_ONLY_ONCE)));
  EXPECT_EQ(radio.Record().versionRequests, 1u);
  EXPECT_EQ(radio.Record().bytesReceived, 1u);
}

// A Ver Read and an Update leave their two records in the user's history; a history that
// cannot be written changes nothing the window shows, and is told once on standard error.
TEST_F(ExchangeTest, VerReadAndUpdateLeaveTheirRecords) {
  const std::vector<std::uint8_t> image = TestImage(200);
  testkit::TempDir folder;
  const std::string imagePath = folder.Write("dsp.out", image);
  // A file where the history's folder should be: not even root can write there.
  std::ofstream(folder.Path() + "/blocked") << "x";
  const std::string blocked = folder.Path() + "/blocked/history.jsonl";
  const std::string kept = ports.ConfigHome() + "/vannor/history.jsonl";
  std::size_t shown = 0;
  for (const std::string& history : {kept, blocked}) {
    SCOPED_TRACE(history);
    testkit::ScopedEnv place("VANNOR_HISTORY", history.c_str());
    sim::RadioConfig config;
    config.expectedLength = static_cast<std::uint32_t>(image.size());
    StartRadio(1, config);
    modals.AnswerFileDialog(imagePath);
    testkit::CapturedStderr errors;
    ASSERT_TRUE(errors.Ok());
    ShowWindow();
    ClickOn(Get<wxWindow>(IDC_VER_READ));
    ASSERT_TRUE(PumpUntil([&] { return LabelOf(Get<wxWindow>(IDC_VERSION_DSP2)) != "V00.00"; }));
    ClickOn(Get<wxWindow>(IDC_UPDATE));
    ASSERT_TRUE(PumpUntil([&] { return modals.Messages().size() > shown; }));
    EXPECT_EQ(modals.MessageTexts().back(), MSG_COMPLETION);
    shown = modals.Messages().size();
    const std::string told = "vannor: cannot record the history in " + history + ": ";
    const std::string text = errors.Text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), history == blocked ? 1 : 0) << text;
    EXPECT_EQ(text.find(told) == 0, history == blocked) << text;
    window.reset();
    radios.clear();
  }
  std::ifstream file(kept);
  std::vector<HistoryRecord> records;
  for (std::string line; std::getline(file, line);) {
    ASSERT_TRUE(ParseRecord(line, records.emplace_back())) << line;
  }
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].request, "version");
  EXPECT_EQ(records[0].dsp1 + " " + records[0].dsp2, "V01.03 V02.00");
  EXPECT_EQ(records[1].request, "update");
  EXPECT_EQ(records[1].outcome, "completed");
  EXPECT_EQ(records[1].image, imagePath);
  EXPECT_EQ(records[1].size, 200u);
  EXPECT_EQ(records[1].sha256.size(), 64u);
  for (const HistoryRecord& record : records) {
    EXPECT_EQ(record.program, "vannor");
    EXPECT_EQ(record.port, "COM1");
    EXPECT_TRUE(record.ok);
  }
}

// The window menu's history entry, below the COM ports entry, lists what the window just did:
// a write, then one refused, newest first.
TEST_F(ExchangeTest, TheHistoryEntryListsAWriteAndAFailedOne) {
  const std::vector<std::uint8_t> image = TestImage(200);
  testkit::TempDir folder;
  sim::RadioConfig config;
  config.expectedLength = static_cast<std::uint32_t>(image.size());
  StartRadio(1, config);
  modals.AnswerFileDialog(folder.Write("dsp.out", image));
  ShowWindow();
  ClickOn(Get<wxWindow>(IDC_UPDATE));
  ASSERT_TRUE(PumpUntil([&] { return modals.Messages().size() == 1; }));
  ClickOn(Get<wxWindow>(IDC_WRITE_DSP1));
  ClickOn(Get<wxWindow>(IDC_WRITE_DSP2));
  ClickOn(Get<wxWindow>(IDC_UPDATE));
  ASSERT_TRUE(PumpUntil([&] { return modals.Messages().size() == 2; }));
  EXPECT_EQ(modals.MessageTexts().back(), MSG_DSP_SELECT_ERROR);

  const wxMenuItemList& items = window->SystemMenu()->GetMenuItems();
  const auto history = std::find_if(items.begin(), items.end(), [](const wxMenuItem* item) {
    return item->GetItemLabel() == FromUtf8(HISTORY_ITEM_TEXT);
  });
  ASSERT_NE(history, items.end());
  EXPECT_EQ((*history)->GetId(), res::MENU_HISTORY);
  EXPECT_EQ((*std::prev(history))->GetId(), res::MENU_PORT_LINKS);
  std::vector<std::vector<std::string>> rows;
  modals.AnswerDialogNamed(HISTORY_DIALOG_NAME, [&](wxDialog& dialog) {
    auto& list = dynamic_cast<HistoryDlg&>(dialog);
    list.ReadAll();
    for (long row = 0; row < list.List().GetItemCount(); ++row) {
      std::vector<std::string>& texts = rows.emplace_back();
      for (int column = 1; column < 9; ++column) {
        texts.push_back(list.List().GetItemText(row, column).utf8_string());
      }
    }
    return wxID_CANCEL;
  });
  wxCommandEvent chosen(wxEVT_MENU, (*history)->GetId());
  window->ProcessWindowEvent(chosen);

  std::ifstream file(ports.ConfigHome() + "/vannor/history.jsonl");
  std::string line;
  HistoryRecord written;
  ASSERT_TRUE(std::getline(file, line) && ParseRecord(line, written));
  const std::string digest = written.sha256.substr(0, 12);
  const auto device = testing::EndsWith(" -> " + radios[0]->SlavePath());
  EXPECT_THAT(rows,
              ElementsAre(ElementsAre("COM1", device, "Update", "(Tavix3 DSP1), (Tavix3 DSP2)", "",
                                      "DSP Select Error !!!", "", ""),
                          ElementsAre("COM1", device, "Update", "DSP1+Tavix3, DSP2+Tavix3",
                                      "200 / 200", "Completion !!!", "dsp.out", digest)));
}

TEST_F(ExchangeTest, ARadioThatNeverAnswersEndsInACommunicationError) {
  sim::RadioConfig config;
  config.versionReplyLength = 0;
  StartRadio(1, config);
  VannorDlg& dlg = ShowWindow();

  ClickOn(Get<wxWindow>(IDC_VER_READ));
  // The response time-out is five seconds; the pump waits longer.
  ASSERT_TRUE(PumpUntil([&] { return !modals.Messages().empty(); }));
  EXPECT_THAT(modals.MessageTexts(), ElementsAre(std::string(MSG_COMMUNICATION_ERROR)));
  EXPECT_EQ(LabelOf(Get<wxWindow>(IDC_VERSION_DSP1)), "V00.00");
  EXPECT_EQ(window->RadioLink().State().protocolState, ProtocolState::Idle);
  // The window stays usable.
  EXPECT_TRUE(dlg.IsShown());
  EXPECT_TRUE(Get<wxWindow>(IDC_UPDATE).IsEnabled());
}

}  // namespace
}  // namespace vannor::uitest
