// What an Update asks of the radio besides the image, and the checks every host makes before
// it sends anything: the DSP choice, and the chosen image file read and checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/exchange_outcome.h"

namespace vannor {

// The four selection boxes: a Write box and a Tavix3 box for each DSP.
struct DspChoice {
  bool writeDsp1 = false;
  bool tavix3Dsp1 = false;
  bool writeDsp2 = false;
  bool tavix3Dsp2 = false;
};

// The second byte of the write request: 1 DSP1 Write, 2 DSP1 Tavix3, 4 DSP2 Write, 8 DSP2
// Tavix3.
std::uint8_t SelectionMask(const DspChoice& choice);
// Whether the mask names a DSP to write: the Tavix3 bits alone are only options.
bool DspChosen(std::uint8_t mask);
// The DSPs the mask names, as "DSP1+Tavix3, DSP2"; a Tavix3 box without its Write box shows as
// "(Tavix3 DSP2)".
std::string DspNames(std::uint8_t mask);
// Whether an image of `length` bytes can be sent at all.
bool ImageLengthFits(std::uint32_t length);

// The progress percentage after `confirmed` of `length` bytes, truncated.
std::uint8_t PercentOf(std::uint32_t confirmed, std::uint32_t length);

// The image file the user chose, checked and read into `buffer` (capacity bytes).
struct ChosenImage {
  std::optional<ImageRefusal> refusal;  // none: loaded
  std::uint32_t length = 0;             // bytes read, when loaded
  std::string problem;                  // why it was refused, in the system's words where known
  std::string path;                     // as chosen
  std::string sha256;                   // of the bytes read, in hexadecimal, when loaded
};
ChosenImage LoadChosenImage(const std::string& path, std::uint8_t* buffer, std::size_t capacity);

}  // namespace vannor
