// The program's built-in files: its icon in several sizes, the style sheet of its dialogs and
// the font alias that gives them their face.
#pragma once

#include <span>
#include <string_view>

namespace vannor::res {

// The sizes, in pixels, at which the icon is drawn.
std::span<const int> IconSizes();
// The PNG data of the icon at `size` pixels; empty when there is no image of that size.
std::span<const unsigned char> IconPng(int size);

// GTK style sheet for the program's dialogs.
std::string_view DialogCss();

// fontconfig alias that maps the dialog face to an installed metric-compatible font.
std::string_view FontAliasConf();

}  // namespace vannor::res
