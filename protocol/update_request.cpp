#include "protocol/update_request.h"

#include <tuple>
#include <utility>

#include "protocol/link_state.h"

namespace vannor {

namespace {

constexpr std::uint8_t WRITE_DSP1 = 1;
constexpr std::uint8_t TAVIX3_DSP1 = 2;
constexpr std::uint8_t WRITE_DSP2 = 4;
constexpr std::uint8_t TAVIX3_DSP2 = 8;

}  // namespace

std::uint8_t SelectionMask(const DspChoice& choice) {
  std::uint8_t mask = 0;
  if (choice.writeDsp1) mask += WRITE_DSP1;
  if (choice.tavix3Dsp1) mask += TAVIX3_DSP1;
  if (choice.writeDsp2) mask += WRITE_DSP2;
  if (choice.tavix3Dsp2) mask += TAVIX3_DSP2;
  return mask;
}

bool DspChosen(std::uint8_t mask) {
  return (mask & (WRITE_DSP1 | WRITE_DSP2)) != 0;
}

std::string DspNames(std::uint8_t mask) {
  std::string names;
  for (const auto& [write, tavix3, name] :
       {std::tuple{WRITE_DSP1, TAVIX3_DSP1, "DSP1"}, std::tuple{WRITE_DSP2, TAVIX3_DSP2, "DSP2"}}) {
    const bool written = (mask & write) != 0, option = (mask & tavix3) != 0;
    if (!written && !option) continue;
    if (!names.empty()) names += ", ";
    names += written ? std::string(name) + (option ? "+Tavix3" : "")
                     : "(Tavix3 " + std::string(name) + ")";
  }
  return names;
}

bool ImageLengthFits(std::uint32_t length) {
  return length > 0 && length <= IMAGE_CAPACITY;
}

std::uint8_t PercentOf(std::uint32_t confirmed, std::uint32_t length) {
  return static_cast<std::uint8_t>((static_cast<std::uint64_t>(confirmed) * 100u) / length);
}

std::shared_ptr<const UpdateImage> ImageSource::Image() const {
  if (image_ || !pick_) return image_;
  const std::optional<std::string> path = pick_();
  if (path) image_ = ReadUpdateImage(*path);
  return image_;
}

void RequestUpdate(UpdateSteps& steps, std::uint8_t mask, const ImageSource& source) {
  if (steps.Busy()) return;
  if (!DspChosen(mask)) {
    steps.Refuse(mask, ChosenImage{}, DspNotSelectedOutcome());
    return;
  }
  const std::shared_ptr<const UpdateImage> image = source.Image();
  if (!image) return;
  if (image->chosen.refusal) {
    steps.Refuse(mask, image->chosen, ImageRefusedOutcome(*image->chosen.refusal));
    return;
  }
  steps.Send(mask, image);
}

}  // namespace vannor
