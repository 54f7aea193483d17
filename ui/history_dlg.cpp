#include "ui/history_dlg.h"

#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/clipbrd.h>
#include <wx/dcmemory.h>
#include <wx/filedlg.h>
#include <wx/imaglist.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "history/history_csv.h"
#include "serial/port_names.h"
#include "ui/dialog_builder.h"
#include "ui/history_rows.h"

namespace vannor {

namespace {

constexpr std::chrono::milliseconds FIRST_SLICE{30};
constexpr std::chrono::milliseconds SLICE{8};
constexpr int SLICE_EVERY_MS = 15;
// A narrowing typed is applied once the typing pauses.
constexpr int TYPING_PAUSE_MS = 400;
constexpr int FAILED_ICON = 0;
const char* const ALL_PORTS = "All ports";

// A red disc with a white bar and dot: failed rows carry it as well as their colour and words.
wxBitmap FailedIcon(int size) {
  wxBitmap bitmap(size, size);
  {
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetPen(*wxRED_PEN);
    dc.SetBrush(*wxRED_BRUSH);
    dc.DrawEllipse(1, 1, size - 2, size - 2);
    dc.SetPen(*wxWHITE_PEN);
    dc.SetBrush(*wxWHITE_BRUSH);
    dc.DrawRectangle(size / 2 - 1, 3, 2, size / 2);
    dc.DrawRectangle(size / 2 - 1, size - 5, 2, 2);
  }
  bitmap.SetMask(new wxMask(bitmap, *wxWHITE));
  return bitmap;
}

std::string Counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

// The list of rows, asked for each row's texts as it comes into view.
class HistoryList final : public wxListCtrl {
 public:
  HistoryList(wxWindow* parent, HistoryIndex& index)
      : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxSize(1000, 360),
                   wxLC_REPORT | wxLC_VIRTUAL | wxLC_HRULES),
        index_(index) {
    failedLook_.SetTextColour(*wxRED);
    failedLook_.SetFont(GetFont().Bold());
    for (std::size_t column = 0; column < HISTORY_COLUMNS; ++column) {
      AppendColumn(FromUtf8(HISTORY_COLUMN_TITLES[column]));
    }
    // The whole SHA-256, the whole path and a failure's cause, for the row under the pointer:
    // the list itself on Windows, the rows' own window inside it elsewhere.
    Bind(wxEVT_MOTION, &HistoryList::OnMotion, this);
    for (wxWindow* child : GetChildren()) child->Bind(wxEVT_MOTION, &HistoryList::OnMotion, this);
  }

  bool RecordOf(long row, HistoryRecord& record) const {
    return row >= 0 && index_.Record(static_cast<std::size_t>(row), record);
  }

  void FitColumns() {
    const int widths[HISTORY_COLUMNS] = {160, 60, 150, 75, 170, 120, 190, 190, 110, 70};
    for (std::size_t column = 0; column < HISTORY_COLUMNS; ++column) {
      SetColumnWidth(static_cast<int>(column), FromDIP(widths[column]));
    }
  }

 private:
  wxString OnGetItemText(long item, long column) const override {
    HistoryRecord record;
    if (!RecordOf(item, record)) return column == 6 ? wxString("(changed since: reopen)") : "";
    return FromUtf8(RowOf(record)[static_cast<std::size_t>(column)]);
  }
  int OnGetItemImage(long item) const override { return OnGetItemColumnImage(item, 0); }
  int OnGetItemColumnImage(long item, long column) const override {
    HistoryRecord record;
    return column == 0 && RecordOf(item, record) && !record.ok ? FAILED_ICON : -1;
  }
  wxItemAttr* OnGetItemAttr(long item) const override {
    HistoryRecord record;
    return RecordOf(item, record) && !record.ok ? &failedLook_ : nullptr;
  }

  void OnMotion(wxMouseEvent& event) {
    event.Skip();
    int flags = 0;
    const long row = HitTest(event.GetPosition(), flags);
    if (row == tipRow_) return;
    tipRow_ = row;
    HistoryRecord record;
    auto* window = static_cast<wxWindow*>(event.GetEventObject());
    window->SetToolTip(RecordOf(row, record) ? FromUtf8(RowTip(record)) : wxString());
  }

  HistoryIndex& index_;
  mutable wxItemAttr failedLook_;
  long tipRow_ = -1;
};

HistoryDlg::HistoryDlg(wxWindow* owner, const std::string& path,
                       std::function<int(wxDialog&)> showModal)
    : wxDialog(owner, wxID_ANY, "History", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER, HISTORY_DIALOG_NAME),
      path_(path),
      showModal_(std::move(showModal)),
      index_(path),
      timer_(this),
      typing_(this) {
  auto* narrowing = new wxBoxSizer(wxHORIZONTAL);
  const auto label = [&](const char* text) {
    narrowing->Add(new wxStaticText(this, wxID_ANY, text), 0, wxALIGN_CENTER_VERTICAL | wxLEFT,
                   FromDIP(10));
  };
  failed_ = new wxCheckBox(this, wxID_ANY, "Failed only");
  narrowing->Add(failed_, 0, wxALIGN_CENTER_VERTICAL);
  label("Port");
  port_ = new wxChoice(this, wxID_ANY);
  narrowing->Add(port_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, FromDIP(4));
  label("Image or SHA-256");
  text_ = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(FromDIP(150), -1));
  narrowing->Add(text_, 1, wxALIGN_CENTER_VERTICAL | wxLEFT, FromDIP(4));
  label("Since");
  since_ = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(FromDIP(110), -1));
  since_->SetHint("2026-12-08");
  since_->SetToolTip("A day, or a day and time (2026-12-08T14:00), local time");
  narrowing->Add(since_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, FromDIP(4));

  list_ = new HistoryList(this, index_);
  icons_ = std::make_unique<wxImageList>(FromDIP(16), FromDIP(16), true, 1);
  icons_->Add(FailedIcon(FromDIP(16)));
  list_->SetImageList(icons_.get(), wxIMAGE_LIST_SMALL);
  list_->FitColumns();
  status_ = new wxStaticText(this, wxID_ANY, "");

  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  auto* copy = new wxButton(this, wxID_COPY, "Copy");
  auto* save = new wxButton(this, wxID_SAVEAS, "Save as CSV...");
  auto* close = new wxButton(this, wxID_CANCEL, "Close");
  buttons->Add(copy);
  buttons->Add(save, 0, wxLEFT, FromDIP(6));
  buttons->AddStretchSpacer();
  buttons->Add(close);

  auto* all = new wxBoxSizer(wxVERTICAL);
  all->Add(narrowing, 0, wxEXPAND | wxALL, FromDIP(8));
  all->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, FromDIP(8));
  all->Add(status_, 0, wxEXPAND | wxALL, FromDIP(8));
  all->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(8));
  SetSizerAndFit(all);
  SetEscapeId(wxID_CANCEL);

  failed_->Bind(wxEVT_CHECKBOX, &HistoryDlg::OnNarrowingChanged, this);
  port_->Bind(wxEVT_CHOICE, &HistoryDlg::OnNarrowingChanged, this);
  for (wxTextCtrl* field : {text_, since_}) {
    field->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { typing_.StartOnce(TYPING_PAUSE_MS); });
  }
  copy->Bind(wxEVT_BUTTON, &HistoryDlg::OnCopy, this);
  save->Bind(wxEVT_BUTTON, &HistoryDlg::OnSave, this);
  Bind(wxEVT_TIMER, &HistoryDlg::OnTimer, this);
  // Ctrl+C copies, as in any list.
  wxAcceleratorEntry keys[] = {{wxACCEL_CTRL, 'C', wxID_COPY}};
  SetAcceleratorTable(wxAcceleratorTable(1, keys));
  Bind(wxEVT_MENU, &HistoryDlg::OnCopy, this, wxID_COPY);

  FillPorts();
  Narrow();
  CentreOnParent();
}

HistoryDlg::~HistoryDlg() {
  timer_.Stop();
  typing_.Stop();
}

wxListCtrl& HistoryDlg::List() {
  return *list_;
}

void HistoryDlg::FillPorts() {
  // The window's ports, then any other the records name (vannor-cli takes device paths).
  std::vector<std::string> names;
  for (int index = 0; index < PORT_COUNT; ++index) names.emplace_back(PortName(index));
  for (const std::string& name : index_.Ports()) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  const wxString chosen = port_->GetSelection() > 0 ? port_->GetStringSelection() : wxString();
  if (static_cast<std::size_t>(port_->GetCount()) == names.size() + 1) return;
  port_->Clear();
  port_->Append(ALL_PORTS);
  for (const std::string& name : names) port_->Append(FromUtf8(ShownText(name)));
  if (chosen.empty() || !port_->SetStringSelection(chosen)) port_->SetSelection(0);
}

void HistoryDlg::Narrow() {
  HistoryNarrowing narrowing;
  narrowing.failed = failed_->GetValue();
  if (port_->GetSelection() > 0) narrowing.port = port_->GetStringSelection().utf8_string();
  narrowing.text = text_->GetValue().utf8_string();
  const std::string since = since_->GetValue().utf8_string();
  narrowing.since = SinceFromLocal(since);
  sinceProblem_ = !since.empty() && narrowing.since.empty()
                      ? "Since: a date as 2026-12-08 or 2026-12-08T14:00"
                      : "";
  if (!path_.empty()) index_.Load(narrowing, FIRST_SLICE);
  list_->SetItemCount(static_cast<long>(index_.Count()));
  list_->Refresh();
  ShowStatus();
  timer_.Start(index_.Pending() ? SLICE_EVERY_MS : HISTORY_FOLLOW_MS);
}

void HistoryDlg::OnNarrowingChanged(wxCommandEvent& /*event*/) {
  Narrow();
}

void HistoryDlg::OnTimer(wxTimerEvent& event) {
  if (&event.GetTimer() == &typing_) {
    Narrow();
    return;
  }
  if (path_.empty()) return;
  if (index_.Pending()) {
    index_.Continue(SLICE);
    list_->SetItemCount(static_cast<long>(index_.Count()));
    if (!index_.Pending()) {
      FillPorts();
      timer_.Start(HISTORY_FOLLOW_MS);
    }
    ShowStatus();
    return;
  }
  Follow();
}

void HistoryDlg::Follow() {
  std::size_t added = 0;
  if (path_.empty() || !index_.Follow(added)) return;
  ShowCount(added);
  if (index_.Pending()) timer_.Start(SLICE_EVERY_MS);
}

void HistoryDlg::ReadAll() {
  while (index_.Pending()) index_.Continue(std::chrono::seconds(1));
  list_->SetItemCount(static_cast<long>(index_.Count()));
  FillPorts();
  ShowStatus();
}

void HistoryDlg::ShowCount(std::size_t added) {
  // New records come in at the top: the selection stays on the rows it was on.
  std::vector<long> selected;
  for (long row = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row >= 0;
       row = list_->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
    selected.push_back(row);
  }
  for (const long row : selected) list_->SetItemState(row, 0, wxLIST_STATE_SELECTED);
  list_->SetItemCount(static_cast<long>(index_.Count()));
  if (added > 0) {
    for (const long row : selected) {
      list_->SetItemState(row + static_cast<long>(added), wxLIST_STATE_SELECTED,
                          wxLIST_STATE_SELECTED);
    }
  }
  list_->Refresh();
  FillPorts();
  ShowStatus();
}

std::string HistoryDlg::Status() const {
  if (path_.empty()) return "No history is kept (VANNOR_HISTORY is empty or \"-\").";
  std::string status = Counted(index_.Count(), "record", "records");
  if (index_.Pending()) status += ", reading on...";
  if (index_.Unreadable() > 0) {
    status += "; " + Counted(index_.Unreadable(), "line", "lines") + " could not be read";
  }
  if (!index_.Problem().empty()) status += "; cannot read " + index_.Problem();
  if (!sinceProblem_.empty()) status += "; " + sinceProblem_;
  return status;
}

void HistoryDlg::ShowStatus() {
  const wxString text = FromUtf8(ShownText(Status()));
  if (status_->GetLabel() != text) status_->SetLabel(text);
}

std::string HistoryDlg::SelectedText() {
  std::vector<HistoryRecord> records;
  for (long row = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row >= 0;
       row = list_->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
    HistoryRecord record;
    if (list_->RecordOf(row, record)) records.push_back(std::move(record));
  }
  return records.empty() ? std::string() : CopiedRows(records);
}

void HistoryDlg::OnCopy(wxCommandEvent& /*event*/) {
  const std::string text = SelectedText();
  if (text.empty() || !wxTheClipboard->Open()) return;
  wxTheClipboard->SetData(new wxTextDataObject(FromUtf8(text)));
  wxTheClipboard->Close();
}

bool HistoryDlg::SaveCsv(const std::string& path, std::string& problem) {
  ReadAll();
  const std::filesystem::path target(std::u8string(path.begin(), path.end()));
  std::error_code error;
  // A FIFO or a device would hold the window; only a plain file, new or replaced.
  const std::filesystem::file_status status = std::filesystem::status(target, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    problem = "not a plain file";
    return false;
  }
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  if (!out) {
    problem = "cannot be written";
    return false;
  }
  // Oldest first, as vannor-cli history --csv writes them.
  std::string csv = HistoryCsvHeader();
  HistoryRecord record;
  for (std::size_t row = index_.Count(); row-- > 0;) {
    if (index_.Record(row, record)) AppendHistoryCsvRow(csv, record);
  }
  out.write(csv.data(), static_cast<std::streamsize>(csv.size()));
  out.close();
  if (!out) {
    problem = "the disk took only part of it";
    return false;
  }
  return true;
}

void HistoryDlg::OnSave(wxCommandEvent& /*event*/) {
  wxFileDialog choice(this, "Save as CSV", wxEmptyString, "history.csv", "CSV file|*.csv",
                      wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (showModal_(choice) != wxID_OK) return;
  const std::string path = choice.GetPath().utf8_string();
  std::string problem;
  if (SaveCsv(path, problem)) return;
  wxMessageDialog box(this, FromUtf8(" " + path + ": " + problem + " "), wxEmptyString,
                      wxOK | wxICON_NONE | wxCENTRE);
  showModal_(box);
}

}  // namespace vannor
