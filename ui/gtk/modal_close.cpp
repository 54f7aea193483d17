#include "ui/modal_close.h"

#include <gtk/gtk.h>
#include <wx/dialog.h>

namespace vannor {

bool CloseModalDialog(wxDialog& dialog) {
  // The file choice and the About box run the toolkit's own modal loop.
  if (dialog.IsModal()) {
    dialog.EndModal(wxID_CANCEL);
    return true;
  }
  // A message box runs GTK's (gtk_dialog_run), which only its response ends.
  GtkWidget* widget = dialog.GetHandle();
  if (widget == nullptr || !GTK_IS_DIALOG(widget)) return false;
  gtk_dialog_response(GTK_DIALOG(widget), GTK_RESPONSE_DELETE_EVENT);
  return true;
}

}  // namespace vannor
