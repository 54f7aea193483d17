#include "ui/vannor_dlg.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>

#include <cerrno>
#include <cstdio>

#include "protocol/messages.h"
#include "res/dialog_templates.h"
#include "serial/adapter_latency.h"
#include "serial/port_names.h"
#include "ui/about_dlg.h"
#include "ui/app_icon.h"
#include "ui/dialog_builder.h"
#include "ui/link_diagnostics.h"
#include "ui/modal_close.h"
#include "ui/system_menu.h"

namespace vannor {

wxDEFINE_EVENT(COMM_NOTIFY_EVENT, wxThreadEvent);

namespace {

#define EVT_COMM_NOTIFY(id, func) \
  wx__DECLARE_EVT1(COMM_NOTIFY_EVENT, id, wxThreadEventHandler(func))

constexpr const char* IMAGE_FILE_FILTER = "out file|*.out";
// The About entry's command with any of the low four bits set.
constexpr int ABOUT_COMMAND_FIRST = static_cast<int>(res::IDM_ABOUTBOX);
constexpr int ABOUT_COMMAND_LAST =
    static_cast<int>(res::IDM_ABOUTBOX | (~res::SYS_COMMAND_MASK & 0xFu));
// A signalled end looks again every END_RETRY_MS whether the dialog on top has gone.
constexpr int END_RETRY_TIMER = RESPONSE_TIMER + 1;
constexpr int END_RETRY_MS = 50;
// "Close (&C)": the window menu's own entry above the About entry.
constexpr std::string_view CLOSE_ITEM_TEXT = "閉じる(&C)";

template <typename Control>
Control* Bound(wxWindow& dialog, int id) {
  return dynamic_cast<Control*>(dialog.FindWindow(id));
}

}  // namespace

// clang-format off
wxBEGIN_EVENT_TABLE(VannorDlg, wxDialog)
  EVT_COMM_NOTIFY(WM_COMM_NOTIFY, VannorDlg::OnCommNotifyEvent)
  EVT_MENU_RANGE(ABOUT_COMMAND_FIRST, ABOUT_COMMAND_LAST, VannorDlg::OnSysCommandEvent)
  EVT_MENU(res::MENU_CLOSE, VannorDlg::OnSysCommandEvent)
  EVT_CONTEXT_MENU(VannorDlg::OnContextMenu)
  EVT_COMBOBOX(IDC_PORT_LIST, VannorDlg::OnPortSelChangeEvent)
  EVT_COMBOBOX_DROPDOWN(IDC_PORT_LIST, VannorDlg::OnPortListDropdown)
  EVT_COMBOBOX_CLOSEUP(IDC_PORT_LIST, VannorDlg::OnPortListCloseUp)
  EVT_BUTTON(IDC_UPDATE, VannorDlg::OnUpdateClickedEvent)
  EVT_TIMER(RESPONSE_TIMER, VannorDlg::OnTimerEvent)
  EVT_TIMER(END_RETRY_TIMER, VannorDlg::OnEndRetryEvent)
  EVT_BUTTON(IDC_VER_READ, VannorDlg::OnVerReadClickedEvent)
  EVT_INIT_DIALOG(VannorDlg::OnInitDialog)
  EVT_BUTTON(wxID_OK, VannorDlg::OnEndEvent)
  EVT_CHAR_HOOK(VannorDlg::OnCharHook)
  EVT_CLOSE(VannorDlg::OnCloseEvent)
wxEND_EVENT_TABLE()
    // clang-format on

    VannorDlg::VannorDlg(std::unique_ptr<Line> serialLine)
    : wxDialog(nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxDIALOG_NO_PARENT),
      line(std::move(serialLine)),
      engine(*line, *this),
      responseTimer(this, RESPONSE_TIMER),
      endRetry(this, END_RETRY_TIMER) {
  // Nothing in this program handles idle or update-UI events, yet the toolkit would send both
  // to the dialog and to each of its controls in the idle pass that follows every listener
  // notification, that is, for every byte of an image: most of that pass's cost. Only windows
  // that ask for them get them now.
  wxIdleEvent::SetMode(wxIDLE_PROCESS_SPECIFIED);
  wxUpdateUIEvent::SetMode(wxUPDATE_UI_PROCESS_SPECIFIED);
  BuildDialog(*this, res::MAIN_DIALOG);
  // The cancel command is ours: Esc must run the stop sequence, not just end the dialog.
  SetEscapeId(wxID_NONE);
  BindControls();
  for (int index = 0; index < PORT_COUNT; ++index) portList->Append(FromUtf8(PortName(index)));
  portList->Bind(wxEVT_KILL_FOCUS, &VannorDlg::OnPortListKillFocus, this);
  appIcon = LoadAppIcons();
  Centre();
}

VannorDlg::~VannorDlg() {
  // The controls outlive this part of the window; their last focus change must not reach it.
  portList->Unbind(wxEVT_KILL_FOCUS, &VannorDlg::OnPortListKillFocus, this);
  responseTimer.Stop();
  endRetry.Stop();
  // A window torn down without End still ends its listener first, so that the thread never
  // posts to a window that is gone. The stop sequence may run twice; the second does nothing.
  line->StopLink();
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
  AddAboutEntry();
  SetIcons(appIcon);
  dsp1WriteBox->SetValue(true);
  dsp1Tavix3Box->SetValue(true);
  dsp2WriteBox->SetValue(true);
  dsp2Tavix3Box->SetValue(true);
  progressBar->SetValue(0);
  portList->SetSelection(0);
  portIndex = 0;
  latency =
      std::make_unique<LatencyCheck>(stderr, "vannor: " + std::string(PortName(portIndex)), *line);
  (void)engine.AddObserver(latency.get());  // the first observer always has room
  if (ExchangeTrace::Requested()) TraceExchanges();
  displayLoss = std::make_unique<DisplayLossGuard>([this] { line->StopLink(); });
  if (line->OpenPort(portIndex) == 0) {
    ReportOpenFailure(stderr, PortName(portIndex), line->LastOpenFailure());
    // Windows initialises a dialog before it is on screen, and the toolkit gives a message box
    // no hidden owner: there the box waits until the window shows, and is then its own.
    if (IsShownOnScreen()) {
      ShowMessage(MSG_COM_PORT_UNUSABLE);
    } else {
      CallAfter([this] { ShowMessage(MSG_COM_PORT_UNUSABLE); });
    }
  }
  // Without a listener (no thread could be made) no reply ever arrives, and every exchange
  // ends at its time-out with " Communication Error !!! "; the window itself stays usable.
  if (!line->StartListener(*this)) ReportListenerFailure(stderr, PortName(portIndex), errno);
  endButton->SetFocus();
}

// Windows: the About entry goes into the window's system menu. GTK gives programs no system
// menu; the window's context menu stands in for it, with the platform's Close entry and the
// About entry below a separator.
void VannorDlg::AddAboutEntry() {
  const wxString aboutItem = FromUtf8(res::IDS_ABOUT_ITEM_TEXT);
  if (AddToSystemMenu(*this, static_cast<int>(res::IDM_ABOUTBOX), aboutItem)) return;
  systemMenu = std::make_unique<wxMenu>();
  systemMenu->Append(res::MENU_CLOSE, FromUtf8(CLOSE_ITEM_TEXT));
  if (aboutItem.empty()) return;
  systemMenu->AppendSeparator();
  systemMenu->Append(static_cast<int>(res::IDM_ABOUTBOX), aboutItem);
}

void VannorDlg::OnContextMenu(wxContextMenuEvent& event) {
  if (!systemMenu) return;
  wxPoint where = event.GetPosition();
  if (where == wxDefaultPosition) {
    // From the keyboard (Shift+F10, the Menu key): open it at the control that has the focus.
    const wxWindow* focus = FindFocus();
    where = focus != nullptr && focus != this && IsDescendant(const_cast<wxWindow*>(focus))
                ? focus->GetScreenRect().GetBottomLeft()
                : ClientToScreen(wxPoint(0, 0));
  }
  PopupMenu(systemMenu.get(), ScreenToClient(where));
}

void VannorDlg::OnSysCommandEvent(wxCommandEvent& event) {
  const unsigned command =
      event.GetId() == res::MENU_CLOSE ? SC_CLOSE : static_cast<unsigned>(event.GetId());
  OnSysCommand(command, 0);
}

void VannorDlg::OnSysCommand(unsigned nID, long /*lParam*/) {
  if ((nID & res::SYS_COMMAND_MASK) == res::IDM_ABOUTBOX) {
    AboutDlg about(this);
    ShowNestedModal(about);
    return;
  }
  // The platform's own commands; Close goes the way of the title bar's close box.
  if ((nID & res::SYS_COMMAND_MASK) == SC_CLOSE) Close();
}

void VannorDlg::OnCommNotifyEvent(wxThreadEvent& /*event*/) {
  engine.OnCommNotify();
}

void VannorDlg::OnPortReady(bool hungUp) {
  line->OnPortReady(hungUp);
  engine.OnCommNotify();
}

// The toolkits tell no selection change when the row already selected is picked again, yet
// picking the open port must reopen it (a USB adapter plugged back in). While the popup is open
// the list has no selection, so every pick is a change; a popup closed without a pick gets the
// open port back.
void VannorDlg::OnPortListDropdown(wxCommandEvent& event) {
  pickingPort = true;
  portList->SetSelection(wxNOT_FOUND);
  event.Skip();
}

void VannorDlg::OnPortListCloseUp(wxCommandEvent& event) {
  // The pick, if any, comes after the popup has closed: look once it has been handled.
  CallAfter([this] {
    pickingPort = false;
    if (portList->GetSelection() == wxNOT_FOUND) ShowOpenPortInField();
  });
  event.Skip();
}

void VannorDlg::OnPortSelChangeEvent(wxCommandEvent& /*event*/) {
  pickingPort = false;
  if (portList->GetSelection() != portIndex && !MayLeaveUpdate(MSG_SWITCH_UNFINISHED)) {
    portList->SetSelection(portIndex);
    return;
  }
  // The question was answered Yes, or nothing was on its way: the exchange ends here, and no
  // byte of it may go to the new port.
  engine.Abandon();
  const int before = portIndex;
  OnPortSelChange(*this, *line, portIndex);
  // The port chosen last did not open again either.
  if (!line->PortUsable()) {
    ReportOpenFailure(stderr, PortName(portIndex), line->LastOpenFailure());
  }
  if (portIndex != before) {
    const std::string prefix = "vannor: " + std::string(PortName(portIndex));
    if (trace != nullptr) trace->SetPrefix(prefix);
    latency->SetPrefix(prefix);
  }
}

void VannorDlg::TraceExchanges() {
  trace = std::make_unique<ExchangeTrace>(stderr, "vannor: " + std::string(PortName(portIndex)));
  (void)engine.AddObserver(trace.get());  // the window's only observer
}

void VannorDlg::OnPortListKillFocus(wxFocusEvent& event) {
  ShowOpenPortInField();
  event.Skip();
}

// Text typed into the port list's field selects and opens nothing; once the user has left the
// field, and before anything goes to the radio, the field names the port in use again, so that
// it never shows another radio's port as the one that is about to be written.
void VannorDlg::ShowOpenPortInField() {
  if (pickingPort) return;
  const wxString openPort = FromUtf8(PortName(portIndex));
  if (portList->GetSelection() != portIndex) portList->SetSelection(portIndex);
  if (portList->GetValue() != openPort) portList->ChangeValue(openPort);
}

void VannorDlg::OnUpdateClickedEvent(wxCommandEvent& /*event*/) {
  ShowOpenPortInField();
  engine.OnUpdateClicked();
  // An image on its way: a slow USB adapter is told on standard error, where the trace goes too.
  if (engine.State().protocolState == ProtocolState::AwaitCommandAck) {
    const std::string note = SlowPortNote(EchoHoldOf(*line), engine.State().imageLength);
    if (!note.empty()) {
      std::fprintf(stderr, "vannor: %s: %s\n", std::string(PortName(portIndex)).c_str(),
                   note.c_str());
    }
  }
}

void VannorDlg::OnTimerEvent(wxTimerEvent& event) {
  engine.OnTimer();
  event.Skip();
}

void VannorDlg::OnVerReadClickedEvent(wxCommandEvent& /*event*/) {
  ShowOpenPortInField();
  engine.OnVerReadClicked();
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
  return MayLeaveUpdate(MSG_QUIT_UNFINISHED);
}

bool VannorDlg::MayLeaveUpdate(std::string_view text) {
  // A version read leaves nothing behind on the radio; a write request, its enquiry and the
  // image leave a DSP that is neither its old program nor the new one.
  if (!engine.Writing()) return true;
  // The transfer goes on while the question is open. Esc or the question's own close box count
  // as No.
  wxMessageDialog question(this, FromUtf8(text), wxEmptyString,
                           wxYES_NO | wxNO_DEFAULT | wxICON_NONE | wxCENTRE);
  // A signal that closed the question has decided for the user.
  return ShowNestedModal(question) == wxID_YES || endSignalled;
}

void VannorDlg::EndOnSignal() {
  if (ended) return;
  endSignalled = true;
  // Not while a box or the file choice of the window's is open: its loop would go on running,
  // and during a port switch's box the port lock is held. Nor before the window's own modal loop
  // runs: there is nothing to end yet. Close what is open and look again shortly.
  if (nestedModal != nullptr || !initialised || wxEventLoopBase::GetActive() == nullptr) {
    if (nestedModal != nullptr && nestedModal != closedModal && CloseModalDialog(*nestedModal)) {
      closedModal = nestedModal;
    }
    endRetry.StartOnce(END_RETRY_MS);
    return;
  }
  OnCancelClose();
}

void VannorDlg::OnEndRetryEvent(wxTimerEvent& /*event*/) {
  EndOnSignal();
}

int VannorDlg::ShowNestedModal(wxDialog& dialog) {
  wxDialog* const outer = nestedModal;
  nestedModal = &dialog;
  const int result = dialog.ShowModal();
  nestedModal = outer;
  // The next dialog may take this one's place in memory; it has not been closed.
  if (closedModal == &dialog) closedModal = nullptr;
  return result;
}

void VannorDlg::OnEnd() {
  line->StopLink();
  EndWith(wxID_OK);
}

void VannorDlg::OnCancelClose() {
  line->StopLink();
  EndWith(wxID_CANCEL);
}

void VannorDlg::EndWith(int result) {
  // A time-out must not open a message box for a window that is going.
  responseTimer.Stop();
  endRetry.Stop();
  ended = true;
  EndDialog(result);
}

void VannorDlg::StartResponseTimer(int milliseconds) {
  // Every expiry stops the timer, so a one-shot timer serves.
  responseTimer.StartOnce(milliseconds);
}

void VannorDlg::StopResponseTimer() {
  responseTimer.Stop();
}

bool VannorDlg::IsChecked(Box box) {
  switch (box) {
    case Box::WriteDsp1:
      return dsp1WriteBox->GetValue();
    case Box::WriteDsp2:
      return dsp2WriteBox->GetValue();
    case Box::Tavix3Dsp1:
      return dsp1Tavix3Box->GetValue();
    case Box::Tavix3Dsp2:
      return dsp2Tavix3Box->GetValue();
  }
  return false;
}

void VannorDlg::SetProgress(int position) {
  if (progressBar->GetValue() != position) progressBar->SetValue(position);
}

wxControl* VannorDlg::LabelFor(Label label, std::string** shown) {
  switch (label) {
    case Label::Percent:
      *shown = &shownPercent;
      return percentLabel;
    case Label::VersionDsp1:
      *shown = &shownDsp1Version;
      return dsp1VersionLabel;
    case Label::VersionDsp2:
      *shown = &shownDsp2Version;
      return dsp2VersionLabel;
  }
  return nullptr;
}

void VannorDlg::SetLabelText(Label label, std::string_view text) {
  std::string* shown = nullptr;
  wxControl* control = LabelFor(label, &shown);
  if (control == nullptr || *shown == text) return;
  shown->assign(text);
  control->SetLabelText(FromUtf8(text));
}

void VannorDlg::ReportOutcome(const ExchangeOutcome& outcome) {
  if (outcome.kind == Outcome::CommunicationError &&
      outcome.failure.cause == FailureCause::PortFailed) {
    // The box keeps its words; the cause goes where a technician looks.
    ReportPortFailure(stderr, PortName(portIndex), line->Device(), line->FailureReason());
  }
  const std::string_view text = MessageFor(outcome);
  if (!text.empty()) ShowMessage(text);
}

void VannorDlg::ShowMessage(std::string_view text) {
  wxMessageDialog box(this, FromUtf8(text), wxEmptyString, wxOK | wxICON_NONE | wxCENTRE);
  ShowNestedModal(box);
}

bool VannorDlg::ChooseImageFile(std::string& path) {
  // The filter shows only "out" files; GTK's chooser opens only files that exist, so a name
  // typed without extension cannot stand for its "out" file as it would elsewhere.
  wxFileDialog dialog(this, "Open", imageFolder, wxEmptyString, IMAGE_FILE_FILTER, wxFD_OPEN);
  if (ShowNestedModal(dialog) != wxID_OK) return false;
  const wxFileName chosen(dialog.GetPath());
  // The next choice starts in this folder; the process's working folder stays as it was.
  imageFolder = chosen.GetPath();
  path = chosen.GetFullPath().utf8_string();
  return true;
}

int VannorDlg::PortListSelection() {
  const int selection = portList->GetSelection();
  return selection >= 0 && selection < PORT_COUNT ? selection : -1;
}

void VannorDlg::SelectPortListItem(int index) {
  portList->SetSelection(index);
}

void VannorDlg::ShowPortNotUsable(int index, const OpenFailure& failure) {
  ReportOpenFailure(stderr, PortName(index), failure);
  ShowMessage(MSG_NOT_USE_COM_PORT);
}

void VannorDlg::PostCommNotify() {
  // Thread-safe: the event is queued for the window's thread, which takes ownership of it.
  wxQueueEvent(this, new wxThreadEvent(COMM_NOTIFY_EVENT, WM_COMM_NOTIFY));
}

}  // namespace vannor
