#include "ui/look.h"

namespace vannor {

// Windows resolves the dialog's face by name and substitutes one where it is missing, and its
// controls fill the sizes they are given: none of the GTK adjustments is needed.

bool ActivateFontAlias() {
  return true;
}

bool LoadDialogCss() {
  return true;
}

void ApplyDialogStyle(wxWindow& /*dialog*/) {}

void FillProgressBarHeight(wxWindow& /*progressBar*/) {}

void KeepOneTabStop(wxWindow& /*comboBox*/) {}

}  // namespace vannor
