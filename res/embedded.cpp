#include "res/embedded.h"

#include "res/embedded_data.inc"

namespace vannor::res {

namespace {

constexpr int ICON_SIZES[] = {16, 32, 48, 64, 128, 256};

std::string_view AsText(std::span<const unsigned char> bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

std::span<const int> IconSizes() {
  return ICON_SIZES;
}

std::span<const unsigned char> IconPng(int size) {
  switch (size) {
    case 16:
      return ICON_16_PNG;
    case 32:
      return ICON_32_PNG;
    case 48:
      return ICON_48_PNG;
    case 64:
      return ICON_64_PNG;
    case 128:
      return ICON_128_PNG;
    case 256:
      return ICON_256_PNG;
    default:
      return {};
  }
}

std::string_view DialogCss() {
  return AsText(DIALOG_CSS);
}

std::string_view FontAliasConf() {
  return AsText(FONT_ALIAS_CONF);
}

}  // namespace vannor::res
