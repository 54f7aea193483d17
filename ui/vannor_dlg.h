// The main window: port list, DSP selection, Update and Ver Read, versions and progress. It
// supplies the engine's window, timer and port operations, receives the listener's
// notifications and runs the stop sequence before it ends.
#pragma once

#include <wx/dialog.h>
#include <wx/event.h>
#include <wx/iconbndl.h>
#include <wx/timer.h>

#include <memory>
#include <string>
#include <string_view>

#include "protocol/comm_notify_target.h"
#include "protocol/engine_host.h"
#include "serial/listener.h"
#include "serial/port_switch.h"

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

// Not final: the window benchmark counts the engine's calls in a subclass of its own.
class VannorDlg : public wxDialog,
                  public EngineHost,
                  public CommNotifyTarget,
                  public PortSwitchHost,
                  public DialogCloser {
 public:
  VannorDlg();
  ~VannorDlg() override;
  VannorDlg(const VannorDlg&) = delete;
  VannorDlg& operator=(const VannorDlg&) = delete;

  // Engine: port.
  bool PortUsable() override;
  void PortWrite(const std::uint8_t* bytes, std::size_t count) override;
  std::size_t PortPendingCount() override;
  std::size_t PortRead(std::uint8_t* buffer, std::size_t count) override;
  // Engine: the response timer.
  void StartResponseTimer(int milliseconds) override;
  void StopResponseTimer() override;
  // Engine: controls and messages.
  bool IsChecked(ControlId box) override;
  void SetProgress(int position) override;
  void SetLabelText(ControlId label, std::string_view text) override;
  void ShowMessage(std::string_view text) override;
  bool ChooseImageFile(std::string& path) override;

  // Listener thread: queues WM_COMM_NOTIFY; never blocks.
  void PostCommNotify() override;

  // Port switch.
  int PortListSelection() override;
  void SelectPortListItem(int index) override;

  // The dialog's default OK and cancel handling.
  void EndDialogOk() override;
  void EndDialogCancel() override;

  // A command of the window's menu (the About entry, Close).
  void OnSysCommand(unsigned nID, long lParam);

  // The window's menu, once initialisation has built it; null before.
  wxMenu* SystemMenu() const { return systemMenu.get(); }
  // List index of the port chosen last.
  int PortIndex() const { return portIndex; }
  // Whether the listener thread is running (it ends with the stop sequence).
  bool ListenerRunning() const { return listener != nullptr; }

 private:
  void BindControls();
  void AddAboutEntry();

  void OnInitDialog(wxInitDialogEvent& event);
  void OnCommNotifyEvent(wxThreadEvent& event);
  void OnSysCommandEvent(wxCommandEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);
  void OnPortSelChangeEvent(wxCommandEvent& event);
  void OnUpdateClickedEvent(wxCommandEvent& event);
  void OnTimerEvent(wxTimerEvent& event);
  void OnVerReadClickedEvent(wxCommandEvent& event);
  void OnEndEvent(wxCommandEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnCloseEvent(wxCloseEvent& event);

  void EndWith(int result);
  wxControl* LabelFor(ControlId label, std::string** shown);

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
  std::unique_ptr<ListenerThread> listener;
  wxIconBundle appIcon;

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

  wxDECLARE_EVENT_TABLE();
};

}  // namespace vannor
