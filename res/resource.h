// Identifiers of the program's resources and the one string of its string table.
#pragma once

#include <string_view>

namespace vannor {

// Controls of the main window.
enum ControlId : int {
  IDC_PORT_LIST = 1002,
  IDC_BANNER = 1018,
  IDC_PROGRESS = 1032,
  IDC_UPDATE = 1033,
  IDC_PERCENT = 1036,
  IDC_WRITE_DSP1 = 1039,
  IDC_WRITE_DSP2 = 1040,
  IDC_TAVIX3_DSP1 = 1041,
  IDC_TAVIX3_DSP2 = 1042,
  IDC_VER_READ = 1043,
  IDC_VERSION_DSP1 = 1044,
  IDC_VERSION_DSP2 = 1045,
};

// The main window's one timer: the engine's response timer.
inline constexpr int RESPONSE_TIMER = 1;

}  // namespace vannor

// The OK command of a dialog (the End button of the main window), and the system menu's Close
// command. These are Windows' own names, which its headers define as macros; spelt exactly as
// there, so that either definition may come first wherever both are seen.
#define IDOK 1
#define SC_CLOSE 0xF060

namespace vannor::res {

inline constexpr int IDD_ABOUT = 100;
inline constexpr int IDS_ABOUT_ITEM = 101;
inline constexpr int IDD_MAIN = 102;
inline constexpr int IDR_MAINICON = 128;

// System commands of the main window's menu. The low four bits of a system command are the
// platform's own, so commands are compared with them cleared.
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;
inline constexpr unsigned SYS_COMMAND_MASK = 0xFFF0;
// The toolkit's menu commands stop at 0x7FFF: the Close entry carries SC_CLOSE shifted down and
// is translated back when chosen.
inline constexpr int MENU_CLOSE = static_cast<int>(SC_CLOSE >> 4);
// The COM ports entry of the window menu (the system menu, or its stand-in): a command of the
// program's own, below every system command.
inline constexpr int MENU_PORT_LINKS = 0x0100;
// The history entry, below the COM ports entry; offered at any time, as the history only reads.
inline constexpr int MENU_HISTORY = 0x0110;

// "Vannor version information (&A)...": the About entry of the window's menu. The half-width
// katakana are part of the text.
inline constexpr std::string_view IDS_ABOUT_ITEM_TEXT = "Vannor のﾊﾞｰｼﾞｮﾝ情報(&A)...";

}  // namespace vannor::res
