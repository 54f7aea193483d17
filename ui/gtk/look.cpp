#include "ui/look.h"

#include <fontconfig/fontconfig.h>
#include <gtk/gtk.h>
#include <wx/window.h>

#include <set>
#include <string>

#include "res/embedded.h"

namespace vannor {

namespace {

// The style sheet's rules all start with this widget name.
constexpr const char* STYLED_DIALOG_NAME = "vannor-dialog";

bool AddScreenCss(const std::string& css) {
  GdkScreen* screen = gdk_screen_get_default();
  if (screen == nullptr) return false;
  GtkCssProvider* provider = gtk_css_provider_new();
  GError* error = nullptr;
  const bool loaded = gtk_css_provider_load_from_data(provider, css.data(),
                                                      static_cast<gssize>(css.size()), &error);
  if (error != nullptr) g_error_free(error);
  if (loaded) {
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  }
  // The screen holds its own reference for as long as the program runs.
  g_object_unref(provider);
  return loaded;
}

void SkipButtonsInTabOrder(GtkWidget* widget, gpointer /*unused*/) {
  if (GTK_IS_TOGGLE_BUTTON(widget)) gtk_widget_set_can_focus(widget, FALSE);
  if (GTK_IS_CONTAINER(widget)) {
    gtk_container_forall(GTK_CONTAINER(widget), SkipButtonsInTabOrder, nullptr);
  }
}

}  // namespace

bool ActivateFontAlias() {
  // fontconfig wants the document NUL-terminated.
  const std::string conf(res::FontAliasConf());
  FcConfig* config = FcConfigGetCurrent();
  if (config == nullptr) return false;
  return FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(conf.c_str()),
                                        FcTrue) == FcTrue;
}

bool LoadDialogCss() {
  return AddScreenCss(std::string(res::DialogCss()));
}

void FillProgressBarHeight(wxWindow& progressBar) {
  GtkWidget* widget = progressBar.GetHandle();
  const int height = progressBar.GetSize().GetHeight();
  // The trough's and the bar's 1-pixel borders sit inside the height.
  if (widget == nullptr || height < 6) return;
  // One rule per height, named after it, so that every bar of that height shares it.
  static std::set<int> registered;
  const std::string name = "vannor-progress-" + std::to_string(height);
  if (registered.insert(height).second) {
    AddScreenCss("#" + name + " trough { min-height: " + std::to_string(height - 2) + "px; }\n#" +
                 name + " progress { min-height: " + std::to_string(height - 4) + "px; }\n");
  }
  gtk_widget_set_name(widget, name.c_str());
}

void KeepOneTabStop(wxWindow& comboBox) {
  GtkWidget* widget = comboBox.GetHandle();
  // forall, not foreach: the list's button is one of its internal children.
  if (widget != nullptr && GTK_IS_CONTAINER(widget)) {
    gtk_container_forall(GTK_CONTAINER(widget), SkipButtonsInTabOrder, nullptr);
  }
}

void ApplyDialogStyle(wxWindow& dialog) {
  GtkWidget* widget = dialog.GetHandle();
  if (widget != nullptr) gtk_widget_set_name(widget, STYLED_DIALOG_NAME);
  // The theme draws the background either way, as nothing of ours handles an erase. The
  // toolkit's default style would first build a device context for the erase event, and with
  // it the window's colours from a new style context: about a third of every redraw, and the
  // main window redraws at each percent of an Update. Ignored: only transparency is refused.
  (void)dialog.SetBackgroundStyle(wxBG_STYLE_SYSTEM);
}

}  // namespace vannor
