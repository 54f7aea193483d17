// The look of the program's dialogs on GTK (ui/gtk): their face, resolved through a fontconfig
// alias, and a style sheet that fits GTK's widgets into dialog-unit sizes (ui/gtk). Windows
// substitutes a missing face and its controls fit their sizes: ui/msw has nothing to do.
#pragma once

class wxWindow;

namespace vannor {

// Loads the font alias into the process's fontconfig setup, so that the dialogs' face resolves
// to IPAPGothic whether or not the alias is installed system-wide. Must run before the toolkit
// starts: Pango keeps what it has resolved once. False when fontconfig refused the alias.
bool ActivateFontAlias();

// Registers the dialogs' style sheet with the display. Call once the toolkit has started.
// False when GTK refused it.
bool LoadDialogCss();

// Puts a dialog under the style sheet's rules; other windows (the file chooser, message boxes)
// keep the desktop's look.
void ApplyDialogStyle(wxWindow& dialog);

// Makes a progress bar's trough fill the height it was given, as the bar of the dialog layout
// does, instead of GTK's thin line across its middle.
void FillProgressBarHeight(wxWindow& progressBar);

// Leaves a drop-down list with an edit field one tab stop, its field, as the layout's tab order
// counts it; GTK would stop at the list's button as well.
void KeepOneTabStop(wxWindow& comboBox);

}  // namespace vannor
