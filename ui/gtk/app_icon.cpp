#include "ui/app_icon.h"

#include <wx/icon.h>
#include <wx/image.h>
#include <wx/imagpng.h>
#include <wx/mstream.h>

#include <cstdlib>

#include "res/embedded.h"

namespace vannor {

namespace {

wxBitmap DecodePng(int size) {
  const auto png = res::IconPng(size);
  if (png.empty()) return wxBitmap();
  // The toolkit registers only the BMP reader by itself.
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  wxMemoryInputStream stream(png.data(), png.size());
  const wxImage image(stream, wxBITMAP_TYPE_PNG);
  return image.IsOk() ? wxBitmap(image) : wxBitmap();
}

}  // namespace

wxIconBundle LoadAppIcons() {
  wxIconBundle icons;
  for (const int size : res::IconSizes()) {
    const wxBitmap bitmap = DecodePng(size);
    if (!bitmap.IsOk()) continue;
    wxIcon icon;
    icon.CopyFromBitmap(bitmap);
    icons.AddIcon(icon);
  }
  return icons;
}

wxBitmap AppIconBitmap(int pixels) {
  int best = 0;
  for (const int size : res::IconSizes()) {
    if (best == 0 || std::abs(size - pixels) < std::abs(best - pixels)) best = size;
  }
  return DecodePng(best);
}

}  // namespace vannor
