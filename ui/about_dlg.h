// The About box: the program's icon, name and version.
#pragma once

#include <wx/dialog.h>

namespace vannor {

class AboutDlg final : public wxDialog {
 public:
  explicit AboutDlg(wxWindow* owner);
};

}  // namespace vannor
