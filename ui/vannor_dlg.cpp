#include "ui/vannor_dlg.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/msgdlg.h>

#include <cstdio>

#include "protocol/messages.h"
#include "res/dialog_templates.h"
#include "res/version.h"
#include "serial/port_names.h"
#include "ui/about_dlg.h"
#include "ui/app_icon.h"
#include "ui/dialog_builder.h"
#include "ui/history_dlg.h"

namespace vannor {

namespace {

// The About entry's command with any of the low four bits set.
constexpr int ABOUT_COMMAND_FIRST = static_cast<int>(res::IDM_ABOUTBOX);
constexpr int ABOUT_COMMAND_LAST =
    static_cast<int>(res::IDM_ABOUTBOX | (~res::SYS_COMMAND_MASK & 0xFu));
constexpr int END_RETRY_TIMER = RESPONSE_TIMER + 1;

// Why the per-user history has no place, told once on the first record (empty when it has one).
std::string WhyNoHistory() {
  std::string why;
  (void)ChosenHistoryPath(nullptr, &why);  // the path itself is the log's
  return why;
}

}  // namespace

// clang-format off
wxBEGIN_EVENT_TABLE(VannorDlg, wxDialog)
  EVT_MENU_RANGE(ABOUT_COMMAND_FIRST, ABOUT_COMMAND_LAST, VannorDlg::OnSysCommandEvent)
  EVT_MENU(res::MENU_CLOSE, VannorDlg::OnSysCommandEvent)
  EVT_MENU(res::MENU_HISTORY, VannorDlg::OnHistory)
  EVT_COMBOBOX(IDC_PORT_LIST, VannorDlg::OnPortSelChange)
  EVT_BUTTON(IDC_UPDATE, VannorDlg::OnUpdateClicked)
  EVT_BUTTON(IDC_VER_READ, VannorDlg::OnVerReadClicked)
  EVT_INIT_DIALOG(VannorDlg::OnInitDialog)
  EVT_BUTTON(wxID_OK, VannorDlg::OnEndEvent)
  EVT_CHAR_HOOK(VannorDlg::OnCharHook)
  EVT_CLOSE(VannorDlg::OnCloseEvent)
wxEND_EVENT_TABLE()
    // clang-format on

    VannorDlg::VannorDlg(std::unique_ptr<PortBackend> backend)
    : wxDialog(nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxDIALOG_NO_PARENT),
      // Written by a thread of the log's own: the event thread never waits on the file's lock
      // or its disk.
      history(ChosenHistoryPath(nullptr), "vannor", std::string(res::PRODUCT_VERSION), stderr,
              HistoryLog::Writer::Background, WhyNoHistory()),
      signalledEnd(
          *this, END_RETRY_TIMER, [this] { return initialised; },
          [this] {
            if (!ended) OnCancelClose();
          }) {
  // Nothing in this program handles idle or update-UI events, yet the toolkit would send both
  // to the dialog and to each of its controls in the idle pass that follows every port event,
  // that is, for every byte of an image: most of that pass's cost. Only windows that ask for
  // them get them now.
  wxIdleEvent::SetMode(wxIDLE_PROCESS_SPECIFIED);
  wxUpdateUIEvent::SetMode(wxUPDATE_UI_PROCESS_SPECIFIED);
  BuildDialog(*this, res::MAIN_DIALOG);
  // The cancel command is ours: Esc must run the stop sequence, not just end the dialog.
  SetEscapeId(wxID_NONE);
  BindControls();
  for (int index = 0; index < PORT_COUNT; ++index) portList->Append(FromUtf8(PortName(index)));
  windowLink = std::make_unique<WindowLink>(
      *this, [this](const ExchangeOutcome& outcome) { ReportOutcome(outcome); },
      std::move(backend));
  (void)Radio().Follow(*this);  // the link's own observers leave room
  Radio().KeepHistory(history);
  picks = std::make_unique<PortListPicks>(*portList, [this] { return PortIndex(); });
  portLinks = std::make_unique<PortLinksEntry>(
      *this, *portList, RadioLink(),
      PortLinksEntry::Window{
          .showModal = [this](wxDialog& dialog) { return signalledEnd.ShowModal(dialog); },
          .showMessage = [this](std::string_view text) { ShowMessage(text); },
          .pickPort = [this](int index) { PickPort(index); }});
  appIcon = LoadAppIcons();
  Centre();
}

VannorDlg::~VannorDlg() {
  // A window torn down without End still runs the stop sequence first, so that nothing posts to
  // a window that is gone. It may run twice; the second does nothing.
  picks.reset();
  windowLink->Stop();
}

void VannorDlg::BindControls() {
  dsp2VersionLabel = Bound<wxControl>(*this, IDC_VERSION_DSP2);
  dsp1VersionLabel = Bound<wxControl>(*this, IDC_VERSION_DSP1);
  dsp2Tavix3Box = Bound<wxCheckBox>(*this, IDC_TAVIX3_DSP2);
  dsp1Tavix3Box = Bound<wxCheckBox>(*this, IDC_TAVIX3_DSP1);
  dsp2WriteBox = Bound<wxCheckBox>(*this, IDC_WRITE_DSP2);
  dsp1WriteBox = Bound<wxCheckBox>(*this, IDC_WRITE_DSP1);
  percentLabel = Bound<wxControl>(*this, IDC_PERCENT);
  progressBar = Bound<wxGauge>(*this, IDC_PROGRESS);
  portList = Bound<wxComboBox>(*this, IDC_PORT_LIST);
  endButton = Bound<wxButton>(*this, wxID_OK);
}

// Initialisation, when the window is first shown.
void VannorDlg::OnInitDialog(wxInitDialogEvent& event) {
  // The toolkit sends this at every Show; the link is set up once per window.
  if (initialised) return;
  initialised = true;
  wxDialog::OnInitDialog(event);
  menu.Build();
  SetIcons(appIcon);
  dsp1WriteBox->SetValue(true);
  dsp1Tavix3Box->SetValue(true);
  dsp2WriteBox->SetValue(true);
  dsp2Tavix3Box->SetValue(true);
  progressBar->SetValue(0);
  portList->SetSelection(0);
  displayLoss.emplace([this] { windowLink->Stop(); });
  if (!Radio().OpenPort(0)) {
    Radio().Diagnostics().OpenFailed(PortName(0), SerialLine().LastOpenFailure());
    // Windows initialises a dialog before it is on screen, and the toolkit gives a message box
    // no hidden owner: there the box waits until the window shows, and is then its own.
    if (IsShownOnScreen()) {
      ShowMessage(MSG_COM_PORT_UNUSABLE);
    } else {
      CallAfter([this] { ShowMessage(MSG_COM_PORT_UNUSABLE); });
    }
  }
  portLinks->ShowTip();
  // Unwatched (no thread could be made) no reply ever arrives, and every exchange ends at its
  // time-out with " Communication Error !!! "; the window itself stays usable.
  if (!Watching()) Radio().Diagnostics().WatchFailed(PortName(0));
  endButton->SetFocus();
}

void VannorDlg::OnSysCommandEvent(wxCommandEvent& event) {
  const unsigned command =
      event.GetId() == res::MENU_CLOSE ? SC_CLOSE : static_cast<unsigned>(event.GetId());
  OnSysCommand(command, 0);
}

void VannorDlg::OnSysCommand(unsigned nID, long /*lParam*/) {
  if ((nID & res::SYS_COMMAND_MASK) == res::IDM_ABOUTBOX) {
    AboutDlg about(this);
    signalledEnd.ShowModal(about);
    return;
  }
  // The platform's own commands; Close goes the way of the title bar's close box.
  if ((nID & res::SYS_COMMAND_MASK) == SC_CLOSE) Close();
}

void VannorDlg::OnHistory(wxCommandEvent& /*event*/) {
  // Only reads: an exchange goes on while it is open.
  const auto showModal = [this](wxDialog& dialog) { return signalledEnd.ShowModal(dialog); };
  HistoryDlg dialog(this, history.Path(), showModal);
  showModal(dialog);
}

void VannorDlg::OnPortSelChange(wxCommandEvent& /*event*/) {
  PickPort(picks->TakePick());
}

void VannorDlg::PickPort(int index) {
  const int now = Radio().OnPortPicked(index, *this);
  if (portList->GetSelection() != now) portList->SetSelection(now);
  // The port chosen last did not open again either.
  if (!SerialLine().PortUsable()) {
    Radio().Diagnostics().OpenFailed(PortName(now), SerialLine().LastOpenFailure());
  }
  portLinks->ShowTip();
}

bool VannorDlg::LeaveUnfinishedUpdate() {
  // A signal that closed the question ends the window anyway: the port stays as it was.
  return MayLeaveUpdate(MSG_SWITCH_UNFINISHED) && !signalledEnd.Requested();
}

void VannorDlg::ShowPortNotUsable(int index, const OpenFailure& failure) {
  // The list shows the port in use again before the box tells why the pick failed.
  portList->SetSelection(PortIndex());
  Radio().Diagnostics().OpenFailed(PortName(index), failure);
  ShowMessage(MSG_NOT_USE_COM_PORT);
}

DspChoice VannorDlg::CheckedBoxes() const {
  return DspChoice{.writeDsp1 = dsp1WriteBox->GetValue(),
                   .tavix3Dsp1 = dsp1Tavix3Box->GetValue(),
                   .writeDsp2 = dsp2WriteBox->GetValue(),
                   .tavix3Dsp2 = dsp2Tavix3Box->GetValue()};
}

void VannorDlg::OnUpdateClicked(wxCommandEvent& /*event*/) {
  picks->ShowOpenPort();
  // The link's steps: nothing while busy, the DSP check, then this file dialog, the image's read
  // and the request. A refused choice or image is told and recorded by the link.
  Radio().StartUpdate(SelectionMask(CheckedBoxes()),
                      ImageSource([this] { return SelectImageFile(); }));
}

std::optional<std::string> VannorDlg::SelectImageFile() {
  // The filter shows only "out" files; GTK's chooser opens only files that exist, so a name
  // typed without extension cannot stand for its "out" file as it would elsewhere.
  wxFileDialog dialog(this, "Open", imageFolder, wxEmptyString, IMAGE_FILE_FILTER, wxFD_OPEN);
  if (signalledEnd.ShowModal(dialog) != wxID_OK) return std::nullopt;
  const wxFileName chosen(dialog.GetPath());
  // The next choice starts in this folder; the process's working folder stays as it was.
  imageFolder = chosen.GetPath();
  return chosen.GetFullPath().utf8_string();
}

void VannorDlg::OnVerReadClicked(wxCommandEvent& /*event*/) {
  picks->ShowOpenPort();
  Radio().OnVerReadClicked();
}

void VannorDlg::OnEndEvent(wxCommandEvent& /*event*/) {
  if (MayQuit()) OnEnd();
}

void VannorDlg::OnCharHook(wxKeyEvent& event) {
  // Esc is the cancel command. Enter needs nothing here: GTK gives it to the focused push
  // button and otherwise to the default one, End, as the dialog expects.
  if (event.GetKeyCode() == WXK_ESCAPE && event.GetModifiers() == wxMOD_NONE) {
    if (MayQuit()) OnCancelClose();
    return;
  }
  event.Skip();
}

void VannorDlg::OnCloseEvent(wxCloseEvent& event) {
  // The close box and the menu's Close; a close that cannot be refused asks nothing.
  if (event.CanVeto() && !MayQuit()) {
    event.Veto();
    return;
  }
  OnCancelClose();
}

bool VannorDlg::MayQuit() {
  // A signal that closed the question has decided for the user.
  return MayLeaveUpdate(MSG_QUIT_UNFINISHED) || signalledEnd.Requested();
}

bool VannorDlg::MayLeaveUpdate(std::string_view text) {
  // A version read leaves nothing behind on the radio; a write request, its enquiry and the
  // image leave a DSP that is neither its old program nor the new one.
  if (!Radio().LeavesDspUnfinished()) return true;
  // The transfer goes on while the question is open. Esc or the question's own close box count
  // as No.
  wxMessageDialog question(this, FromUtf8(text), wxEmptyString,
                           wxYES_NO | wxNO_DEFAULT | wxICON_NONE | wxCENTRE);
  return signalledEnd.ShowModal(question) == wxID_YES;
}

void VannorDlg::EndOnSignal() {
  if (!ended) signalledEnd.Request();
}

void VannorDlg::OnEnd() {
  windowLink->Stop();
  EndWith(wxID_OK);
}

void VannorDlg::OnCancelClose() {
  windowLink->Stop();
  EndWith(wxID_CANCEL);
}

void VannorDlg::EndWith(int result) {
  signalledEnd.Cancel();
  ended = true;
  EndDialog(result);
}

void VannorDlg::ShowProgress(int position, std::string_view percent) {
  if (progressBar->GetValue() != position) progressBar->SetValue(position);
  ShowLabelText(*percentLabel, shownPercent, percent);
}

void VannorDlg::ShowVersions(std::string_view dsp1, std::string_view dsp2) {
  ShowLabelText(*dsp1VersionLabel, shownDsp1Version, dsp1);
  ShowLabelText(*dsp2VersionLabel, shownDsp2Version, dsp2);
}

void VannorDlg::ReportOutcome(const ExchangeOutcome& outcome) {
  // The box keeps its words; a cause it cannot say goes where a technician looks.
  Radio().Diagnostics().FailureCause(PortName(PortIndex()), outcome);
  const std::string_view text = MessageFor(outcome);
  if (!text.empty()) ShowMessage(text);
}

void VannorDlg::ShowMessage(std::string_view text) {
  wxMessageDialog box(this, FromUtf8(text), wxEmptyString, wxOK | wxICON_NONE | wxCENTRE);
  signalledEnd.ShowModal(box);
}

}  // namespace vannor
