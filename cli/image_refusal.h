// How vannor-cli words an image it will not send, for `write` and `history --image` alike.
#pragma once

#include <string>

#include "image/update_image.h"

namespace vannor::cli {

// "PATH: File Open Error: why" (or File Size Error, File Error for a name without .out).
std::string RefusalText(const std::string& path, const ChosenImage& chosen);

}  // namespace vannor::cli
