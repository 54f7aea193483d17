// What the window tests share: a modal-dialog hook that records every message box and answers
// file choices, an event pump with a generous bound, a private port folder, and real input.
// The benchmark drives the window with the same pieces.
#pragma once

#include <wx/modalhook.h>
#include <wx/window.h>

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "testing/scoped_env.h"
#include "testing/temp_dir.h"

namespace vannor::uitest {

// How long a test waits for something the window must do before it counts as hung. Nothing
// is measured against it.
inline constexpr std::chrono::seconds PATIENCE{30};

// Runs the toolkit's events until `done` holds; false when PATIENCE ran out first.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = PATIENCE);
// Runs the events that are due now, and those that arrive for `span`.
void PumpFor(std::chrono::milliseconds span);

struct MessageRecord {
  std::string text;     // UTF-8
  std::string caption;  // UTF-8
  long style = 0;
  const wxWindow* owner = nullptr;
};

struct AboutRecord {
  std::string caption;              // UTF-8
  std::vector<std::string> labels;  // texts of its static texts, in tab order
  bool hasIcon = false;
  bool hasOkButton = false;
};

// Sees every modal dialog before it shows. Message boxes are recorded and answered OK; a Yes/No
// question and a file dialog take the next queued answer; an About box is recorded when one is
// expected; a dialog of a name the test queued an answer for gets that answer. Any other modal, or
// one nobody queued an answer for, fails the test and is answered No or cancelled, so that a run
// never blocks on a window nobody will close.
class ModalRecorder final : public wxModalDialogHook {
 public:
  ModalRecorder() { Register(); }
  ~ModalRecorder() override { Unregister(); }

  void AnswerFileDialog(const std::string& path) { fileAnswers.push_back(path); }
  void CancelFileDialog() { fileAnswers.push_back(std::string()); }
  void ExpectAboutBox() { aboutBoxesExpected++; }
  // The next Yes/No question gets wxID_YES or wxID_NO.
  void AnswerQuestion(int answer) { questionAnswers.push_back(answer); }
  // The next modal dialog named `name` (wxWindow::GetName) goes to `answer`, which may work its
  // controls as the user would and returns what ShowModal is to give.
  void AnswerDialogNamed(const std::string& name, std::function<int(wxDialog&)> answer) {
    namedAnswers.emplace_back(name, std::move(answer));
  }

  const std::vector<MessageRecord>& Messages() const { return messages; }
  std::vector<std::string> MessageTexts() const;
  // The Yes/No questions asked, apart from the other message boxes.
  const std::vector<MessageRecord>& Questions() const { return questions; }
  bool AllQuestionAnswersUsed() const { return questionAnswers.empty(); }
  const std::vector<AboutRecord>& AboutBoxes() const { return aboutBoxes; }
  int FileDialogsShown() const { return fileDialogsShown; }
  // The filter of each file dialog shown, as the dialog was given it.
  const std::vector<std::string>& FileFilters() const { return fileFilters; }
  bool AllFileAnswersUsed() const { return fileAnswers.empty(); }
  bool AllDialogAnswersUsed() const { return namedAnswers.empty(); }

 protected:
  int Enter(wxDialog* dialog) override;

 private:
  int AnswerFile(wxDialog* dialog);

  std::deque<std::string> fileAnswers;
  std::deque<int> questionAnswers;
  std::deque<std::pair<std::string, std::function<int(wxDialog&)>>> namedAnswers;
  int aboutBoxesExpected = 0;
  int fileDialogsShown = 0;
  std::vector<std::string> fileFilters;
  std::vector<MessageRecord> messages;
  std::vector<MessageRecord> questions;
  std::vector<AboutRecord> aboutBoxes;
};

// A private $XDG_CONFIG_HOME for one test whose COM1 to COM10 all lead nowhere, so that no
// test ever opens a real serial port of the machine. Simulators map the ports they serve. The
// same folder is $XDG_STATE_HOME: the window's history goes there, never to the user's.
// Linux only (testing/posix): under Wine the test prefix maps the ports.
class PortFolder {
 public:
  PortFolder();
  ~PortFolder();
  PortFolder(const PortFolder&) = delete;
  PortFolder& operator=(const PortFolder&) = delete;

  const std::string& ConfigHome() const { return folder.Path(); }
  bool Ready() const { return ready; }

 private:
  testkit::TempDir folder;
  testkit::ScopedEnv configHome{"XDG_CONFIG_HOME", folder.Path().c_str()};
  testkit::ScopedEnv stateHome{"XDG_STATE_HOME", folder.Path().c_str()};
  testkit::ScopedEnv noHistory{"VANNOR_HISTORY", nullptr};
  bool ready = false;
};

// Real input through the X server, as a person gives it.
void ClickOn(wxWindow& control);
void RightClickAt(const wxPoint& screenPoint);
void PressKey(int keyCode, int modifiers = 0);
void TypeText(const char* text);

// The text a control shows, in UTF-8.
std::string LabelOf(const wxWindow& control);

}  // namespace vannor::uitest
