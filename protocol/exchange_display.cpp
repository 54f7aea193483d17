#include "protocol/exchange_display.h"

#include "protocol/number_texts.h"
#include "protocol/protocol_engine.h"
#include "protocol/update_request.h"

namespace vannor {

void ExchangeDisplay::OnProgress(std::uint32_t confirmed, std::uint32_t length) {
  const std::uint8_t percent = PercentOf(confirmed, length);
  ShowProgress(percent, NumberTexts[percent]);
}

void ExchangeDisplay::OnEnded(const ExchangeOutcome& outcome) {
  if (outcome.kind != Outcome::VersionsRead) return;
  const VersionText dsp1 = FormatVersion(outcome.versions[0], outcome.versions[1]);
  const VersionText dsp2 = FormatVersion(outcome.versions[2], outcome.versions[3]);
  ShowVersions(std::string_view(dsp1.text, dsp1.length), std::string_view(dsp2.text, dsp2.length));
}

}  // namespace vannor
