// The layouts of the program's two dialogs, in dialog units, as plain data: the window code
// builds its controls from these tables, and the layout tests compare the built windows with
// them.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "res/resource.h"
#include "res/version.h"

namespace vannor::res {

enum class ControlKind {
  DefaultPushButton,
  PushButton,
  ComboBox,  // drop-down with an edit field; its height is the height of the open list
  StaticText,
  ProgressBar,
  CheckBox,
  GroupBox,
  Icon,
};

// Styles that change how a control looks; the group and tab-stop marks are kept for the record
// of the layout, the tab order itself is the order of the table.
enum ControlStyle : unsigned {
  TAB_STOP = 1u << 0,
  STARTS_GROUP = 1u << 1,
  ALIGN_LEFT = 1u << 2,
  ALIGN_RIGHT = 1u << 3,
  CENTRE_HORIZONTAL = 1u << 4,
  CENTRE_VERTICAL = 1u << 5,
  SUNKEN_EDGE = 1u << 6,  // sunken client edge
  STATIC_EDGE = 1u << 7,
  MODAL_FRAME = 1u << 8,
  BORDER = 1u << 9,
  SMOOTH = 1u << 10,
  NO_PREFIX = 1u << 11,  // '&' is shown, not taken as a mnemonic mark
};

struct DluRect {
  int x;
  int y;
  int width;
  int height;
};

inline constexpr int NO_ID = -1;

struct ControlTemplate {
  int id;  // NO_ID for a control nobody addresses
  ControlKind kind;
  unsigned style;
  std::string_view text;  // UTF-8
  DluRect rect;
  std::string_view group;  // text of the group box that holds the control, or empty
};

struct DialogTemplate {
  int id;
  std::string_view caption;   // UTF-8
  std::string_view fontFace;  // UTF-8
  int fontPoints;
  int width;
  int height;
  std::span<const ControlTemplate> controls;  // in tab order
};

// The banner begins with an ideographic space; the blanks around "V1.03" are part of it.
inline constexpr std::string_view BANNER_TEXT =
    "\u3000Tavix for Corvane-7      V1.03            Ostrova";
// "ＭＳ Ｐゴシック" in full-width letters; a fontconfig alias maps it to IPAPGothic.
inline constexpr std::string_view DIALOG_FONT_FACE = "ＭＳ Ｐゴシック";
inline constexpr int DIALOG_FONT_POINTS = 9;

inline constexpr ControlTemplate MAIN_CONTROLS[] = {
    {IDOK, ControlKind::DefaultPushButton, TAB_STOP, "End", {143, 56, 62, 17}, ""},
    {IDC_PORT_LIST, ControlKind::ComboBox, TAB_STOP, "", {18, 62, 58, 91}, ""},
    {NO_ID, ControlKind::StaticText, ALIGN_LEFT | STARTS_GROUP, "COM Select", {18, 47, 46, 8}, ""},
    {IDC_BANNER,
     ControlKind::StaticText,
     STARTS_GROUP | CENTRE_HORIZONTAL | CENTRE_VERTICAL | SUNKEN_EDGE | MODAL_FRAME,
     BANNER_TEXT,
     {13, 6, 198, 28},
     ""},
    {IDC_PROGRESS, ControlKind::ProgressBar, SMOOTH | BORDER, "Progress1", {15, 228, 190, 16}, ""},
    {IDC_UPDATE, ControlKind::PushButton, TAB_STOP, "Update", {121, 205, 63, 16}, ""},
    // 15 wide where the original face needed 11: "100" is wider in IPAPGothic. The label grows
    // to the left, so its right edge stays beside the "%".
    {IDC_PERCENT, ControlKind::StaticText, STARTS_GROUP | ALIGN_RIGHT, "0", {37, 211, 15, 8}, ""},
    {NO_ID, ControlKind::StaticText, STARTS_GROUP | ALIGN_LEFT, "%", {57, 211, 15, 9}, ""},
    {IDC_WRITE_DSP1, ControlKind::CheckBox, TAB_STOP, "Write", {26, 149, 31, 10}, "DSP1"},
    {IDC_WRITE_DSP2, ControlKind::CheckBox, TAB_STOP, "Write", {136, 152, 31, 10}, "DSP2"},
    {NO_ID, ControlKind::GroupBox, 0, "DSP1", {16, 107, 78, 84}, ""},
    {NO_ID, ControlKind::GroupBox, 0, "DSP2", {126, 107, 78, 84}, ""},
    {IDC_TAVIX3_DSP1, ControlKind::CheckBox, TAB_STOP, "Tavix3", {26, 168, 36, 10}, "DSP1"},
    {IDC_TAVIX3_DSP2, ControlKind::CheckBox, TAB_STOP, "Tavix3", {136, 169, 36, 10}, "DSP2"},
    {IDC_VER_READ, ControlKind::PushButton, TAB_STOP, "Ver Read", {91, 86, 38, 14}, ""},
    // 37 wide where the original face needed 31: "V255.255", the longest version text, is wider
    // than "V00.00" in IPAPGothic. Both labels grow by 3 on each side, so their centres stay.
    {IDC_VERSION_DSP1,
     ControlKind::StaticText,
     STARTS_GROUP | CENTRE_HORIZONTAL | CENTRE_VERTICAL | STATIC_EDGE | SUNKEN_EDGE,
     "V00.00",
     {46, 123, 37, 13},
     "DSP1"},
    {IDC_VERSION_DSP2,
     ControlKind::StaticText,
     STARTS_GROUP | CENTRE_HORIZONTAL | CENTRE_VERTICAL | STATIC_EDGE | SUNKEN_EDGE,
     "V00.00",
     {159, 123, 37, 13},
     "DSP2"},
};

inline constexpr DialogTemplate MAIN_DIALOG = {
    IDD_MAIN, "Tavix-7", DIALOG_FONT_FACE, DIALOG_FONT_POINTS, 229, 258, MAIN_CONTROLS};

// The About box. Its second line is free text; it names what the program is for.
inline constexpr ControlTemplate ABOUT_CONTROLS[] = {
    {NO_ID, ControlKind::Icon, 0, "", {11, 17, 20, 20}, ""},
    {NO_ID,
     ControlKind::StaticText,
     ALIGN_LEFT | NO_PREFIX,
     ABOUT_VERSION_TEXT,
     {40, 10, 119, 8},
     ""},
    {NO_ID,
     ControlKind::StaticText,
     ALIGN_LEFT,
     "DSP program writer for the radio",
     {40, 25, 119, 8},
     ""},
    {IDOK, ControlKind::DefaultPushButton, TAB_STOP | STARTS_GROUP, "OK", {178, 7, 50, 14}, ""},
};

inline constexpr DialogTemplate ABOUT_DIALOG = {
    IDD_ABOUT, "Vannorのﾊﾞｰｼﾞｮﾝ情報", DIALOG_FONT_FACE, DIALOG_FONT_POINTS, 235,
    55,        ABOUT_CONTROLS};

}  // namespace vannor::res
