// Every text the tool shows in a message box, in UTF-8, exactly as the user sees it.
#pragma once

#include <string_view>

namespace vannor {

inline constexpr std::string_view MSG_DSP_SELECT_ERROR = " DSP Select Error !!! ";
inline constexpr std::string_view MSG_ONLY_ONCE = " Only once when starting up !!!  ";
inline constexpr std::string_view MSG_COMMUNICATION_ERROR = " Communication Error !!! ";
inline constexpr std::string_view MSG_COMPLETION = " Completion !!! ";
inline constexpr std::string_view MSG_FILE_ERROR = " File Error !!! ";
inline constexpr std::string_view MSG_FILE_OPEN_ERROR = " File Open Error !!! ";
inline constexpr std::string_view MSG_FILE_SIZE_ERROR = " File Size Error !!! ";
inline constexpr std::string_view MSG_NOT_USE_COM_PORT = " Not Use COM Port ";
// Shown when COM1 does not open at start-up ("the COM port cannot be used").
inline constexpr std::string_view MSG_COM_PORT_UNUSABLE = "ＣＯＭポートは使えません";

}  // namespace vannor
