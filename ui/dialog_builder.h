// Builds a dialog from its layout table: caption, face, client size in dialog units, and every
// control at its place, created in tab order.
#pragma once

#include <wx/string.h>
#include <wx/window.h>

#include <string>
#include <string_view>
#include <vector>

#include "res/dialog_templates.h"

class wxControl;
class wxDialog;
class wxRect;

namespace vannor {

// UTF-8 to the toolkit's strings; the process keeps the "C" locale, so narrow literals with
// Japanese text must not be converted through it.
wxString FromUtf8(std::string_view text);

// The toolkit's identifier for a control of the table: the OK command is wxID_OK, a control
// without identifier gets a fresh one.
int WindowIdOf(const res::ControlTemplate& control);

// A rectangle in dialog units of `dialog` (whose face must already be set) in pixels.
wxRect DialogUnitsToPixels(const wxWindow& dialog, const res::DluRect& rect);

// Sets the caption, face and client size and creates the controls; returns them in table
// order. The dialog itself must have been created, without controls.
std::vector<wxWindow*> BuildDialog(wxDialog& dialog, const res::DialogTemplate& layout);

// The control of the built dialog with identifier `id`, as the kind it was built as.
template <typename Control>
Control* Bound(wxWindow& dialog, int id) {
  return dynamic_cast<Control*>(dialog.FindWindow(id));
}

// Sets the label's text unless `shown`, what it shows now, is that text already: progress on
// every byte then costs the toolkit nothing.
void ShowLabelText(wxControl& label, std::string& shown, std::string_view text);

}  // namespace vannor
