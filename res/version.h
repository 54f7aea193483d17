// The program's version information: the one place that names its version and file names.
// The About box, the desktop entry and the Debian package all take them from here.
#pragma once

#include <string_view>

namespace vannor::res {

inline constexpr int VERSION_MAJOR = 1;
inline constexpr int VERSION_MINOR = 0;
inline constexpr int VERSION_PATCH = 0;
inline constexpr int VERSION_BUILD = 1;
inline constexpr std::string_view FILE_VERSION = "1.0.0.1";
inline constexpr std::string_view PRODUCT_VERSION = "1.0.0.1";
inline constexpr std::string_view INTERNAL_NAME = "Vannor";
inline constexpr std::string_view ORIGINAL_FILENAME = "Vannor.EXE";
inline constexpr std::string_view PRODUCT_NAME = "Vannor";
inline constexpr std::string_view FILE_DESCRIPTION = "DSP program writer for the Tavix-7 radio";

}  // namespace vannor::res
