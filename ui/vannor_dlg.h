// The main window: port list, DSP selection, Update and Ver Read, versions and progress, and
// their handlers. Its link to the radio, the port list's picks, the window menu and a signal's
// end are parts of their own (window_link.h, port_list_picks.h, window_menu.h,
// signalled_end.h).
#pragma once

#include <wx/dialog.h>
#include <wx/event.h>
#include <wx/iconbndl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_log.h"
#include "protocol/exchange_display.h"
#include "protocol/link.h"
#include "protocol/update_request.h"
#include "ui/display_loss.h"
#include "ui/port_links_entry.h"
#include "ui/port_list_picks.h"
#include "ui/signalled_end.h"
#include "ui/window_link.h"
#include "ui/window_menu.h"

class wxButton;
class wxCheckBox;
class wxComboBox;
class wxControl;
class wxGauge;
class wxMenu;

namespace vannor {

// Asked before End, Esc, the close box or Close ends the window in the middle of an Update.
inline constexpr std::string_view MSG_QUIT_UNFINISHED =
    " The DSP will be left unfinished. Quit anyway? ";
// Asked before the port is changed in the middle of an Update.
inline constexpr std::string_view MSG_SWITCH_UNFINISHED =
    " The DSP will be left unfinished. Change the port anyway? ";
// The open-file dialog's filter: only "out" files.
inline constexpr const char* IMAGE_FILE_FILTER = "out file|*.out";

// Not final: the window benchmark counts what it does in a subclass of its own.
class VannorDlg : public wxDialog, public ExchangeDisplay, public PortPickQuestions {
 public:
  // The port is the platform's own unless a test or benchmark hands in another.
  explicit VannorDlg(std::unique_ptr<PortBackend> backend = MakePortBackend());
  ~VannorDlg() override;
  VannorDlg(const VannorDlg&) = delete;
  VannorDlg& operator=(const VannorDlg&) = delete;

  // End (the OK command): the stop sequence, then the dialog ends with OK.
  void OnEnd();
  // Esc and the close control (the cancel command): the stop sequence, then cancel.
  void OnCancelClose();
  // SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2 or SIGALRM: the cancel command's end,
  // without a question. A box or the file
  // choice that is open is closed first; the window ends once it has gone.
  void EndOnSignal();
  // A command of the window's menu (the About entry, Close).
  void OnSysCommand(unsigned nID, long lParam);

  // The context menu that stands in for the window menu on GTK, once initialisation has built
  // it; null before, and on Windows, whose own system menu has the About entry.
  wxMenu* SystemMenu() const { return menu.StandIn(); }
  // List index of the port chosen last.
  int PortIndex() const { return RadioLink().PortIndex(); }
  // Whether the port is watched (on Windows: the listener runs); the stop sequence ends it.
  bool Watching() const { return RadioLink().Watching(); }
  Line& SerialLine() { return Radio().SerialLine(); }
  const Link& RadioLink() const { return windowLink->Get(); }
  // The link's events on the window: its port watch and its response timer.
  WindowLink& RadioHost() { return *windowLink; }
  // The COM ports dialog and the port list's tooltip (Linux).
  PortLinksEntry& PortLinks() { return *portLinks; }

  // ExchangeDisplay: the bar, the percentage label and the version labels.
  void ShowProgress(int position, std::string_view percent) override;
  void ShowVersions(std::string_view dsp1, std::string_view dsp2) override;
  // PortPickQuestions.
  bool LeaveUnfinishedUpdate() override;
  void ShowPortNotUsable(int index, const OpenFailure& failure) override;

 protected:
  // How an exchange, or a click that sent nothing, ended: its box, and the cause on standard
  // error where the box cannot say it.
  virtual void ReportOutcome(const ExchangeOutcome& outcome);

 private:
  Link& Radio() { return windowLink->Get(); }
  void BindControls();
  void OnInitDialog(wxInitDialogEvent& event);
  void OnSysCommandEvent(wxCommandEvent& event);
  // The history entry of the window menu.
  void OnHistory(wxCommandEvent& event);
  void OnPortSelChange(wxCommandEvent& event);
  // The port at `index` (-1: none valid) is picked in the list, or the open one again after its
  // link changed.
  void PickPort(int index);
  void OnUpdateClicked(wxCommandEvent& event);
  void OnVerReadClicked(wxCommandEvent& event);
  void OnEndEvent(wxCommandEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnCloseEvent(wxCloseEvent& event);

  // The open-file dialog: the path of the image chosen, or nothing when the user cancelled.
  std::optional<std::string> SelectImageFile();
  DspChoice CheckedBoxes() const;
  void ShowMessage(std::string_view text);
  void EndWith(int result);
  // Whether the user's End, Esc, close box or Close may end the window now: at once unless an
  // image is on its way to the radio, else only when the user says so.
  bool MayQuit();
  // Whether the user lets an unfinished Update go for `question`: at once when none runs.
  bool MayLeaveUpdate(std::string_view question);

  // Controls, in binding order.
  wxControl* dsp2VersionLabel = nullptr;
  wxControl* dsp1VersionLabel = nullptr;
  wxCheckBox* dsp2Tavix3Box = nullptr;
  wxCheckBox* dsp1Tavix3Box = nullptr;
  wxCheckBox* dsp2WriteBox = nullptr;
  wxCheckBox* dsp1WriteBox = nullptr;
  wxControl* percentLabel = nullptr;
  wxGauge* progressBar = nullptr;
  wxComboBox* portList = nullptr;
  wxButton* endButton = nullptr;

  // Where the link records each request ($VANNOR_HISTORY, else the user's); outlives the link.
  HistoryLog history;
  std::unique_ptr<WindowLink> windowLink;
  std::unique_ptr<PortListPicks> picks;
  std::unique_ptr<PortLinksEntry> portLinks;
  SignalledEnd signalledEnd;
  WindowMenu menu{*this, [this] { return !RadioLink().Busy(); }};
  wxIconBundle appIcon;
  // Puts the port back if the display dies under the window.
  std::optional<DisplayLossGuard> displayLoss;
  // The folder of the image chosen last, where the next file choice starts.
  wxString imageFolder;
  // What each label shows, so that progress on every byte sets a text only when it changes.
  std::string shownPercent;
  std::string shownDsp1Version;
  std::string shownDsp2Version;
  bool initialised = false;
  bool ended = false;

  wxDECLARE_EVENT_TABLE();
};

}  // namespace vannor
