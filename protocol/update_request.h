// What an Update asks of the radio besides the image, and the one order of its checks before
// anything is sent: the DSP choice, then the chosen image file read and checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/update_image.h"
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

// Where an Update's image comes from, asked only once the request may go: a file picked then
// (the window's file dialog comes after the DSP check), or an image read already.
class ImageSource {
 public:
  // The file's path, or none when the user picked none.
  using Picker = std::function<std::optional<std::string>()>;
  explicit ImageSource(Picker pick) : pick_(std::move(pick)) {}
  explicit ImageSource(std::shared_ptr<const UpdateImage> image) : image_(std::move(image)) {}

  // The image, read when first asked for when it is a file's: every request given this source
  // shares that one read. Null when none was picked.
  std::shared_ptr<const UpdateImage> Image() const;

 private:
  Picker pick_;
  mutable std::shared_ptr<const UpdateImage> image_;
};

// What an Update's steps act on: a link, or the engine tests' host.
class UpdateSteps {
 public:
  virtual bool Busy() const = 0;
  // The request ends before anything is sent (`chosen` is empty for a DSP choice refused).
  virtual void Refuse(std::uint8_t mask, const ChosenImage& chosen,
                      const ExchangeOutcome& outcome) = 0;
  // The write request goes out with `image`, loaded and checked.
  virtual void Send(std::uint8_t mask, std::shared_ptr<const UpdateImage> image) = 0;

 protected:
  ~UpdateSteps() = default;
};

// The Update, in its one order: nothing while an exchange runs; the DSP check; the image
// from `source` and its checks; then the request.
void RequestUpdate(UpdateSteps& steps, std::uint8_t mask, const ImageSource& source);

}  // namespace vannor
