// vannor-history-bench: how long the history dialog takes to open on a large history, and what
// it holds meanwhile. Writes RECORDS records of a realistic size, half in the older file and half
// in the file, then opens the real dialog: the time to its first rows on screen, the time until
// every line has been read (a slice at a time, the window's loop running between), and how much
// the process grew, beside the size of the files.
//
//   vannor-history-bench [RECORDS]      (default 100000; needs a display: scripts/bench-history.sh)
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/listctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "history/history_log.h"
#include "history/history_record.h"
#include "testing/temp_dir.h"
#include "testing/window_test_support.h"
#include "ui/history_dlg.h"
#include "ui/look.h"

namespace {

class BenchApp final : public wxApp {
 public:
  bool OnInit() override { return true; }
};

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Writes `count` records; returns the bytes written.
long long WriteRecords(const std::string& path, long count) {
  using namespace vannor;
  long long bytes = 0;
  std::ofstream older(RotatedHistoryPath(path), std::ios::binary);
  std::ofstream newer(path, std::ios::binary);
  auto time = std::chrono::system_clock::now() - std::chrono::hours(24 * 365);
  for (long i = 0; i < count; ++i) {
    HistoryRecord r;
    r.time = UtcTimestamp(time + std::chrono::minutes(i));
    r.program = i % 3 == 0 ? "vannor-cli" : "vannor";
    r.version = "1.0.0.1";
    r.host = "bench-pc-07";
    r.user = "technician";
    r.port = "COM" + std::to_string(i % 10 + 1);
    r.device = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0";
    r.adapter = "FTDI FT232R USB UART A10K3XYZ";
    r.request = "update";
    r.image = "/home/technician/images/tavix-dsp-v1.03-build" + std::to_string(i) + ".out";
    r.size = 180000;
    r.sha256 = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
    r.mask = 15;
    r.dsps = "DSP1+DSP2";
    r.ok = i % 7 != 0;
    r.outcome = r.ok ? "completed" : "communication-error";
    r.message = r.ok ? " Completion !!! " : " Communication Error !!! ";
    r.confirmed = r.ok ? 180000 : 1013;
    r.ms = 95000;
    const std::string line = RecordJson(r) + "\n";
    (i < count / 2 ? older : newer) << line;
    bytes += static_cast<long long>(line.size());
  }
  return bytes;
}

double Ms(std::chrono::steady_clock::duration span) {
  return std::chrono::duration<double, std::milli>(span).count();
}

int Run(long count) {
  using namespace vannor;
  const testkit::TempDir folder;
  const std::string path = folder.Path() + "/history.jsonl";
  const long long bytes = WriteRecords(path, count);
  const long before = ResidentKb();
  const auto start = std::chrono::steady_clock::now();
  HistoryDlg dialog(nullptr, path, [](wxDialog& d) { return d.ShowModal(); });
  dialog.Show();
  // The first rows drawn: the list has asked for the newest record's texts.
  (void)dialog.List().GetItemText(0, 0);
  dialog.Update();
  const auto shown = std::chrono::steady_clock::now();
  const long rowsAtOnce = dialog.List().GetItemCount();
  const bool read = uitest::PumpUntil([&] { return !dialog.Index().Pending(); });
  const auto all = std::chrono::steady_clock::now();
  const long after = ResidentKb();
  std::printf("history dialog, %ld records in 2 files (%.1f MB):\n", count, bytes / 1e6);
  std::printf(
      "  open, first rows shown: %8.1f ms  (%ld rows at once; target: well under 1000 ms)\n",
      Ms(shown - start), rowsAtOnce);
  std::printf("  every line read:        %8.1f ms  (%zu rows, the loop running between slices)%s\n",
              Ms(all - start), dialog.Index().Count(), read ? "" : "  NOT FINISHED");
  std::printf("  memory grown:           %8.1f MB  (%.3f of the files' size)\n",
              (after - before) / 1024.0, (after - before) * 1024.0 / static_cast<double>(bytes));
  return read ? 0 : 1;
}

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(BenchApp);

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
  (void)setenv("NO_AT_BRIDGE", "1", 0);  // as the window tests: nothing of these under Xvfb
  (void)setenv("GIO_USE_VFS", "local", 0);
  (void)setenv("GDK_BACKEND", "x11", 0);
  vannor::ActivateFontAlias();
  int toolkitArgc = 1;
  if (count <= 0 || !wxEntryStart(toolkitArgc, argv)) {
    std::fprintf(stderr, "usage: vannor-history-bench [RECORDS], on a display\n");
    return 2;
  }
  int result = 1;
  if (wxTheApp->CallOnInit()) {
    vannor::LoadDialogCss();
    wxGUIEventLoop loop;
    wxEventLoopActivator active(&loop);
    result = Run(count);
    wxTheApp->OnExit();
  }
  wxEntryCleanup();
  return result;
}
