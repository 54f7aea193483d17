#include "ui/look.h"

// Windows substitutes a missing face itself, and its controls fill the sizes they are given:
// there is no toolkit look to adjust.
namespace vannor {

bool ActivateFontAlias() {
  return true;  // no alias to load (above)
}

bool LoadDialogCss() {
  return true;  // no style sheet to load (above)
}

void ApplyDialogStyle(wxWindow& /*dialog*/) {}  // the desktop's look is the dialogs' own

void FillProgressBarHeight(wxWindow& /*progressBar*/) {}  // the bar fills its height already

void KeepOneTabStop(wxWindow& /*comboBox*/) {}  // the list's button takes no tab stop here

}  // namespace vannor
