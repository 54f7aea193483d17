// The main window: port list, DSP selection, Update and Ver Read, versions and progress. It owns
// its serial line and its protocol engine, supplies the engine's window and timer, receives the
// listener's notifications and runs the stop sequence before it ends.
#pragma once

#include <wx/dialog.h>
#include <wx/event.h>
#include <wx/iconbndl.h>
#include <wx/timer.h>

#include <memory>
#include <string>
#include <string_view>

#include "protocol/engine_host.h"
#include "protocol/exchange_trace.h"
#include "protocol/latency_check.h"
#include "protocol/protocol_engine.h"
#include "res/resource.h"
#include "serial/line.h"
#include "serial/port_switch.h"
#include "ui/display_loss.h"
#include "ui/port_watch.h"

class wxButton;
class wxCheckBox;
class wxComboBox;
class wxControl;
class wxGauge;
class wxMenu;

namespace vannor {

// The listener's "bytes have arrived" message; both parameters are 0.
inline constexpr int WM_COMM_NOTIFY = 0x0405;
wxDECLARE_EVENT(COMM_NOTIFY_EVENT, wxThreadEvent);

// Asked before End, Esc, the close box or Close ends the window in the middle of an Update.
inline constexpr std::string_view MSG_QUIT_UNFINISHED =
    " The DSP will be left unfinished. Quit anyway? ";
// Asked before another port is chosen in the middle of an Update.
inline constexpr std::string_view MSG_SWITCH_UNFINISHED =
    " The DSP will be left unfinished. Change the port anyway? ";

// Not final: the window benchmark counts the engine's calls in a subclass of its own.
class VannorDlg : public wxDialog, public EngineHost, public PortEvents, public PortSwitchHost {
 public:
  // The line is the platform's own unless a test or benchmark hands in another.
  explicit VannorDlg(std::unique_ptr<Line> serialLine = std::make_unique<Line>());
  ~VannorDlg() override;
  VannorDlg(const VannorDlg&) = delete;
  VannorDlg& operator=(const VannorDlg&) = delete;

  // Engine: the response timer.
  void StartResponseTimer(int milliseconds) override;
  void StopResponseTimer() override;
  // Engine: controls and messages.
  bool IsChecked(Box box) override;
  void SetProgress(int position) override;
  void SetLabelText(Label label, std::string_view text) override;
  void ReportOutcome(const ExchangeOutcome& outcome) override;
  bool ChooseImageFile(std::string& path) override;
  // A message box of the window's.
  void ShowMessage(std::string_view text);

  // Listener thread (Windows): queues WM_COMM_NOTIFY; never blocks.
  void PostCommNotify() override;
  // Linux: the window's own event loop watches the port.
  void WatchDescriptor(int descriptor) override { portWatch.Watch(descriptor); }

  // Port switch.
  int PortListSelection() override;
  void SelectPortListItem(int index) override;
  void ShowPortNotUsable(int index, const OpenFailure& failure) override;

  // End (the OK command): the stop sequence, then the dialog ends with OK.
  void OnEnd();
  // Esc and the close control (the cancel command): the stop sequence, then cancel.
  void OnCancelClose();
  // SIGTERM, SIGHUP or SIGINT: the cancel command's end, without a question. A box or the file
  // choice that is open is closed first; the window ends once it has gone.
  void EndOnSignal();

  // A command of the window's menu (the About entry, Close).
  void OnSysCommand(unsigned nID, long lParam);

  // The context menu that stands in for the window menu on GTK, once initialisation has built
  // it; null before, and on Windows, whose own system menu has the About entry.
  wxMenu* SystemMenu() const { return systemMenu.get(); }
  // List index of the port chosen last.
  int PortIndex() const { return portIndex; }
  // Whether the listener thread is running (it ends with the stop sequence).
  bool ListenerRunning() const { return line->ListenerRunning(); }
  Line& SerialLine() { return *line; }
  const ProtocolEngine& Engine() const { return engine; }

 protected:
  // The port's descriptor is ready (Linux): the same as WM_COMM_NOTIFY on Windows.
  virtual void OnPortReady(bool hungUp);

 private:
  void BindControls();
  void AddAboutEntry();

  void OnInitDialog(wxInitDialogEvent& event);
  void OnCommNotifyEvent(wxThreadEvent& event);
  void OnSysCommandEvent(wxCommandEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);
  void OnPortSelChangeEvent(wxCommandEvent& event);
  void OnPortListDropdown(wxCommandEvent& event);
  void OnPortListCloseUp(wxCommandEvent& event);

  void OnPortListKillFocus(wxFocusEvent& event);
  void OnUpdateClickedEvent(wxCommandEvent& event);
  void OnTimerEvent(wxTimerEvent& event);
  void OnEndRetryEvent(wxTimerEvent& event);
  void OnVerReadClickedEvent(wxCommandEvent& event);
  void OnEndEvent(wxCommandEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnCloseEvent(wxCloseEvent& event);

  void EndWith(int result);
  // Whether the user's End, Esc, close box or Close may end the window now: at once unless an
  // image is on its way to the radio, else only when the user says so.
  bool MayQuit();
  // Whether the user lets an unfinished Update go for `question`: at once when none runs.
  bool MayLeaveUpdate(std::string_view question);
  // Shows a dialog of the window's modally, where a signal can find and close it.
  int ShowNestedModal(wxDialog& dialog);
  void ShowOpenPortInField();
  // Traces the engine's exchanges on standard error under the open port's name (VANNOR_DEBUG).
  void TraceExchanges();
  wxControl* LabelFor(Label label, std::string** shown);

  // Controls, in binding order.
  wxControl* dsp2VersionLabel = nullptr;
  wxControl* dsp1VersionLabel = nullptr;
  wxCheckBox* dsp2Tavix3Box = nullptr;
  wxCheckBox* dsp1Tavix3Box = nullptr;
  wxCheckBox* dsp2WriteBox = nullptr;
  wxCheckBox* dsp1WriteBox = nullptr;
  wxControl* percentLabel = nullptr;
  wxGauge* progressBar = nullptr;
  int portIndex = 0;
  wxComboBox* portList = nullptr;
  std::unique_ptr<Line> line;
  ProtocolEngine engine;
  wxIconBundle appIcon;
  // The VANNOR_DEBUG trace of this window's exchanges; null when it is off.
  std::unique_ptr<ExchangeTrace> trace;
  // Tells on standard error when a slow adapter holds the echoes back.
  std::unique_ptr<LatencyCheck> latency;
  PortWatch portWatch{[this](bool hungUp) { OnPortReady(hungUp); }};
  // Puts the port back if the display dies under the window.
  std::unique_ptr<DisplayLossGuard> displayLoss;
  // The port list's popup is open: every row, the open port's included, is a choice.
  bool pickingPort = false;

  wxButton* endButton = nullptr;
  wxTimer responseTimer;
  std::unique_ptr<wxMenu> systemMenu;
  // The folder of the image chosen last, where the next file choice starts.
  wxString imageFolder;
  // What each label shows, so that progress on every byte sets a text only when it changes.
  std::string shownPercent;
  std::string shownDsp1Version;
  std::string shownDsp2Version;
  bool initialised = false;
  bool ended = false;
  // A signal asked the window to end; the end waits for the dialog on top of it to go.
  bool endSignalled = false;
  wxTimer endRetry;
  // The innermost dialog the window has running modally, and the one a signal has closed.
  wxDialog* nestedModal = nullptr;
  const wxDialog* closedModal = nullptr;

  wxDECLARE_EVENT_TABLE();
};

}  // namespace vannor
