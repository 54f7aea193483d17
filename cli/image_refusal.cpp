#include "cli/image_refusal.h"

namespace vannor::cli {

std::string RefusalText(const std::string& path, const ChosenImage& chosen) {
  const char* what = *chosen.refusal == ImageRefusal::Size ? "File Size Error" : "File Open Error";
  if (*chosen.refusal == ImageRefusal::NotOut) what = "File Error";
  return path + ": " + what + ": " + chosen.problem;
}

}  // namespace vannor::cli
