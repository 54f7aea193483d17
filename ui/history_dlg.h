// The history dialog: the records of every request, newest first, in a list that reads them as
// they are shown (history/history_index.h), narrowed as `vannor-cli history` narrows, following
// new records while it is open, with a copy of the selected rows and a CSV of all it shows. It
// only reads: it may open during an exchange, which goes on meanwhile.
#pragma once

#include <wx/dialog.h>
#include <wx/listctrl.h>
#include <wx/timer.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_index.h"

class wxCheckBox;
class wxChoice;
class wxImageList;
class wxStaticText;
class wxTextCtrl;

namespace vannor {

// "Write history (&H)...", in the style of the window menu's other entries.
inline constexpr std::string_view HISTORY_ITEM_TEXT = "書き込み履歴(&H)...";
// The dialog's name, by which tests find it among modal dialogs.
inline constexpr const char* HISTORY_DIALOG_NAME = "history";
// New records are looked for this often while the dialog is open.
inline constexpr int HISTORY_FOLLOW_MS = 1000;

class HistoryList;

class HistoryDlg : public wxDialog {
 public:
  // The history at `path` (empty: none is kept). `showModal` runs the Save dialog and message
  // boxes modally, as the window runs its own.
  HistoryDlg(wxWindow* owner, const std::string& path, std::function<int(wxDialog&)> showModal);
  ~HistoryDlg() override;

  // What the line under the list says: how many records, and what could not be read.
  std::string Status() const;
  // Looks for new records now, as the dialog does every HISTORY_FOLLOW_MS.
  void Follow();
  // Reads every line still to be read (the dialog does it a slice at a time).
  void ReadAll();
  HistoryIndex& Index() { return index_; }
  wxListCtrl& List();
  // The narrowing controls, as the user sets them; Narrow applies them at once.
  wxCheckBox& FailedOnly() { return *failed_; }
  wxChoice& Port() { return *port_; }
  wxTextCtrl& Text() { return *text_; }
  wxTextCtrl& Since() { return *since_; }
  void Narrow();
  // The selected rows as the Copy button puts them on the clipboard.
  std::string SelectedText();
  // Writes the CSV of the rows shown to `path`; false with a message for the user.
  bool SaveCsv(const std::string& path, std::string& problem);

 private:
  void OnTimer(wxTimerEvent& event);
  void OnNarrowingChanged(wxCommandEvent& event);
  void OnCopy(wxCommandEvent& event);
  void OnSave(wxCommandEvent& event);
  void ShowCount(std::size_t added);
  void ShowStatus();
  void FillPorts();

  std::string path_;
  std::function<int(wxDialog&)> showModal_;
  HistoryIndex index_;
  HistoryList* list_ = nullptr;
  wxCheckBox* failed_ = nullptr;
  wxChoice* port_ = nullptr;
  wxTextCtrl* text_ = nullptr;
  wxTextCtrl* since_ = nullptr;
  wxStaticText* status_ = nullptr;
  std::unique_ptr<wxImageList> icons_;
  wxTimer timer_;
  wxTimer typing_;
  std::string sinceProblem_;
};

}  // namespace vannor
