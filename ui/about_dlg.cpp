#include "ui/about_dlg.h"

#include "res/dialog_templates.h"
#include "ui/app_icon.h"
#include "ui/dialog_builder.h"

namespace vannor {

AboutDlg::AboutDlg(wxWindow* owner)
    : wxDialog(owner, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  BuildDialog(*this, res::ABOUT_DIALOG);
  SetIcons(LoadAppIcons());
  CentreOnParent();
}

}  // namespace vannor
