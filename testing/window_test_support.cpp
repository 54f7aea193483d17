#include "testing/window_test_support.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <thread>

#include "ui/about_dlg.h"
#include "ui/vannor_dlg.h"

namespace vannor::uitest {

namespace {

using Clock = std::chrono::steady_clock;

std::string Utf8(const wxString& text) {
  return text.utf8_string();
}

void DispatchOnce() {
  wxEventLoopBase* loop = wxEventLoopBase::GetActive();
  if (loop != nullptr) {
    // Waits at most a few milliseconds for the next event, so that a pump sleeps while the
    // window has nothing to do.
    loop->DispatchTimeout(5);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (wxTheApp != nullptr) wxTheApp->ProcessPendingEvents();
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    DispatchOnce();
  }
  return true;
}

void PumpFor(std::chrono::milliseconds span) {
  const Clock::time_point end = Clock::now() + span;
  do {
    DispatchOnce();
  } while (Clock::now() < end);
}

std::vector<std::string> ModalRecorder::MessageTexts() const {
  std::vector<std::string> texts;
  for (const MessageRecord& message : messages) texts.push_back(message.text);
  return texts;
}

int ModalRecorder::Enter(wxDialog* dialog) {
  // The main window itself runs modally, as in the program.
  if (dynamic_cast<VannorDlg*>(dialog) != nullptr) return wxID_NONE;
  if (auto* box = dynamic_cast<wxMessageDialog*>(dialog)) {
    const MessageRecord record{Utf8(box->GetMessage()), Utf8(box->GetCaption()),
                               box->GetMessageDialogStyle(), box->GetParent()};
    if ((record.style & wxYES_NO) == 0) {
      messages.push_back(record);
      return wxID_OK;
    }
    questions.push_back(record);
    if (questionAnswers.empty()) {
      ADD_FAILURE() << "a question the test did not expect: " << record.text;
      return wxID_NO;
    }
    const int answer = questionAnswers.front();
    questionAnswers.pop_front();
    return answer;
  }
  if (dynamic_cast<wxFileDialog*>(dialog) != nullptr) return AnswerFile(dialog);
  if (auto* about = dynamic_cast<AboutDlg*>(dialog)) {
    if (aboutBoxesExpected == 0) {
      ADD_FAILURE() << "an About box opened that the test did not expect";
      return wxID_CANCEL;
    }
    aboutBoxesExpected--;
    AboutRecord record;
    record.caption = Utf8(about->GetTitle());
    for (const wxWindow* child : about->GetChildren()) {
      if (const auto* text = dynamic_cast<const wxStaticTextBase*>(child)) {
        record.labels.push_back(Utf8(text->GetLabel()));
      }
      if (dynamic_cast<const wxStaticBitmap*>(child) != nullptr) record.hasIcon = true;
      if (dynamic_cast<const wxButton*>(child) != nullptr && child->GetId() == wxID_OK) {
        record.hasOkButton = true;
      }
    }
    aboutBoxes.push_back(record);
    return wxID_OK;
  }
  const std::string name = Utf8(dialog->GetName());
  for (auto queued = namedAnswers.begin(); queued != namedAnswers.end(); ++queued) {
    if (queued->first != name) continue;
    const std::function<int(wxDialog&)> answer = std::move(queued->second);
    namedAnswers.erase(queued);
    return answer(*dialog);
  }
  ADD_FAILURE() << "an unexpected modal dialog opened: "
                << Utf8(dialog->GetClassInfo()->GetClassName()) << " \"" << Utf8(dialog->GetTitle())
                << "\"";
  return wxID_CANCEL;
}

int ModalRecorder::AnswerFile(wxDialog* dialog) {
  fileDialogsShown++;
  fileFilters.push_back(dynamic_cast<wxFileDialog*>(dialog)->GetWildcard().utf8_string());
  if (fileAnswers.empty()) {
    ADD_FAILURE() << "a file dialog opened that the test did not expect";
    return wxID_CANCEL;
  }
  const std::string path = fileAnswers.front();
  fileAnswers.pop_front();
  if (path.empty()) return wxID_CANCEL;
  auto* files = dynamic_cast<wxFileDialog*>(dialog);
  const wxString wanted = wxString::FromUTF8(path);
  files->SetPath(wanted);
  // GTK's chooser takes the path in only after it has read the folder.
  if (!PumpUntil([&] { return files->GetPath() == wanted; })) {
    ADD_FAILURE() << "the file dialog did not take the path " << path;
    return wxID_CANCEL;
  }
  return wxID_OK;
}

void ClickOn(wxWindow& control) {
  wxUIActionSimulator input;
  input.MouseMove(control.GetScreenRect().GetPosition() + control.GetSize() / 2);
  PumpFor(std::chrono::milliseconds(20));
  input.MouseClick();
}

void RightClickAt(const wxPoint& screenPoint) {
  wxUIActionSimulator input;
  input.MouseMove(screenPoint);
  PumpFor(std::chrono::milliseconds(20));
  input.MouseClick(wxMOUSE_BTN_RIGHT);
}

void PressKey(int keyCode, int modifiers) {
  wxUIActionSimulator input;
  input.Char(keyCode, modifiers);
}

void TypeText(const char* text) {
  wxUIActionSimulator input;
  input.Text(text);
}

std::string LabelOf(const wxWindow& control) {
  return Utf8(control.GetLabel());
}

}  // namespace vannor::uitest
