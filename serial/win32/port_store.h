// Where the user's COM links live on Windows: one string value per COM name of the list under
// HKEY_CURRENT_USER\Software\Vannor\Ports ("COM3" = "COM17"). The registry, not a file: a value
// is replaced in one step, so two programs writing at once never meet a half-written store or a
// shared temporary name, nothing has to be created first, it roams with the user's profile, and
// reg.exe or regedit show and mend it.
#pragma once

#include <string>
#include <string_view>

namespace vannor {

inline constexpr std::string_view PORT_STORE = "HKEY_CURRENT_USER\\Software\\Vannor\\Ports";

struct StoredLink {
  bool linked = false;
  std::string target;   // "COM17"
  std::string where;    // the value, for messages: PORT_STORE\COM3
  std::string refusal;  // why the value cannot be used (unreadable, no COM port name); else empty
};

// The value for the COM name at `index`; not linked when there is none.
StoredLink ReadStoredLink(int index);

}  // namespace vannor
