// The history dialog over a history of every kind of record, the same on GTK and on wxMSW under
// Wine: its rows, its narrowing, its copy and CSV, and a record that comes while it is open.
#include "ui/history_dlg.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "history/history_log.h"
#include "testing/history_table.h"
#include "testing/temp_dir.h"
#include "testing/window_test_support.h"
#include "ui/history_rows.h"

namespace vannor::uitest {
namespace {

class HistoryDialog : public testing::Test {
 protected:
  // The table, its first three records in the older file, and a torn line in the newer one.
  void SetUp() override {
    testkit::WriteHistory(path, RotatedHistoryPath(path), cases, 3);
    std::ofstream(testkit::PathFromUtf8(path), std::ios::app) << "{\"time\":\"2026-12-\n";
  }

  HistoryDlg& Open(const std::string& at) {
    dialog = std::make_unique<HistoryDlg>(nullptr, at, [](wxDialog& d) { return d.ShowModal(); });
    dialog->ReadAll();
    return *dialog;
  }

  std::vector<std::string> Row(long row) {
    std::vector<std::string> texts;
    for (int column = 1; column < static_cast<int>(HISTORY_COLUMNS); ++column) {
      texts.push_back(dialog->List().GetItemText(row, column).utf8_string());
    }
    return texts;
  }

  long Rows() { return dialog->List().GetItemCount(); }

  void Set(wxCheckBox& box, bool value) {
    box.SetValue(value);
    dialog->Narrow();
  }

  ModalRecorder modals;
  testkit::TempDir folder;
  const std::string path = folder.Path() + "/history.jsonl";
  const std::vector<testkit::HistoryCase> cases = testkit::HistoryCases();
  std::unique_ptr<HistoryDlg> dialog;
};

TEST_F(HistoryDialog, ShowsEveryRecordNewestFirstAndTellsTheLineItCouldNotRead) {
  Open(path);
  ASSERT_EQ(Rows(), static_cast<long>(cases.size()));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const long row = static_cast<long>(cases.size() - 1 - i);
    EXPECT_EQ(Row(row), cases[i].row) << "record " << i;
    // Failed rows carry the icon, not only their colour.
    wxListItem item;
    item.SetId(row);
    item.SetMask(wxLIST_MASK_IMAGE);
    ASSERT_TRUE(dialog->List().GetItem(item));
    EXPECT_EQ(item.GetImage(), cases[i].record.ok ? -1 : 0) << "record " << i;
  }
  EXPECT_EQ(dialog->Status(), "10 records; 1 line could not be read");
  // The copy: a header, then the rows chosen, the SHA-256 whole.
  dialog->List().SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  const std::string copied = dialog->SelectedText();
  EXPECT_EQ(copied.substr(0, copied.find('\n') + 1),
            "Time\tPort\tDevice\tRequest\tDSPs\tBytes\tOutcome\tImage\tSHA-256\tTook\n");
  EXPECT_NE(copied.find("\t" + cases[8].row[6] + "\t" + cases[8].record.sha256 + "\t4.3 s\n"),
            std::string::npos)
      << copied;
}

TEST_F(HistoryDialog, NarrowsAsTheCommandLineDoes) {
  Open(path);
  Set(dialog->FailedOnly(), true);
  EXPECT_EQ(Rows(), 6);
  Set(dialog->FailedOnly(), false);
  ASSERT_TRUE(dialog->Port().SetStringSelection("COM4"));
  dialog->Narrow();
  EXPECT_EQ(Rows(), 2);
  ASSERT_TRUE(dialog->Port().SetStringSelection("/dev/ttyUSB1"));  // a port the records name
  dialog->Narrow();
  EXPECT_EQ(Rows(), 1);
  dialog->Port().SetSelection(0);
  dialog->Text().ChangeValue("DSP-V1.03");  // any case
  dialog->Narrow();
  EXPECT_EQ(Rows(), 4);
  dialog->Text().ChangeValue("9f86d0");
  dialog->Narrow();
  EXPECT_EQ(Rows(), 8);
  dialog->Text().ChangeValue("");
  dialog->Since().ChangeValue("2000-01-01");
  dialog->Narrow();
  EXPECT_EQ(Rows(), 10);
  dialog->Since().ChangeValue("2099-01-01T10:00");
  dialog->Narrow();
  EXPECT_EQ(Rows(), 0);
  dialog->Since().ChangeValue("2026-02-31");
  dialog->Narrow();
  EXPECT_EQ(Rows(), 10);
  EXPECT_NE(dialog->Status().find("Since: a date as 2026-12-08 or 2026-12-08T14:00"),
            std::string::npos);
}

TEST_F(HistoryDialog, ARecordWrittenWhileItIsOpenComesInAtTheTop) {
  Open(path);
  dialog->Show();
  dialog->List().SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  testkit::HistoryCase newest = cases[2];
  newest.record.time = "2026-12-09T10:00:00.000Z";
  newest.record.port = "COM7";
  std::ofstream(testkit::PathFromUtf8(path), std::ios::app) << RecordJson(newest.record) << "\n";
  // The dialog looks by itself.
  ASSERT_TRUE(PumpUntil([&] { return Rows() == 11; }));
  EXPECT_EQ(Row(0)[0], "COM7");
  // The selection stays on the record it was on.
  EXPECT_EQ(dialog->List().GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED), 1);
  EXPECT_EQ(dialog->Status(), "11 records; 1 line could not be read");
}

TEST_F(HistoryDialog, SaveWritesTheRowsShownAsCsvAndAHistoryThatCannotBeReadSaysWhy) {
  Open(path);
  Set(dialog->FailedOnly(), true);
  const std::string csv = folder.Path() + "/failed.csv";
  modals.AnswerFileDialog(csv);
  auto* save = dynamic_cast<wxButton*>(dialog->FindWindow(wxID_SAVEAS));
  ASSERT_NE(save, nullptr);
  wxCommandEvent click(wxEVT_BUTTON, wxID_SAVEAS);
  click.SetEventObject(save);
  save->ProcessWindowEvent(click);
  std::ifstream file(testkit::PathFromUtf8(csv), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const std::string saved = text.str();
  ASSERT_EQ(saved.substr(0, 13), "\xEF\xBB\xBFlocal_time");
  // No failure's record holds a line's end: a line each, and the header.
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 7);
  EXPECT_NE(saved.find(",communication-error, Communication Error !!! ,no echo"),
            std::string::npos);

  Open(folder.Path());  // a folder, not a history
  EXPECT_EQ(Rows(), 0);
  EXPECT_NE(dialog->Status().find("cannot read " + folder.Path() + ": Is a directory"),
            std::string::npos)
      << dialog->Status();
}

}  // namespace
}  // namespace vannor::uitest
