// What the window shows of a link's exchanges, as texts: the bar's position with the
// percentage label while an image goes out, and the two version labels after a version read.
// The window puts them into its controls; the tests' host records them.
#pragma once

#include <string_view>

#include "protocol/exchange_observer.h"

namespace vannor {

class ExchangeDisplay : public ExchangeObserver {
 public:
  // The bar's position, 0 to 100, and the percentage label's text ("00" to "100").
  virtual void ShowProgress(int position, std::string_view percent) = 0;
  // "V01.03" and "V02.00".
  virtual void ShowVersions(std::string_view dsp1, std::string_view dsp2) = 0;

  void OnRequest(const std::uint8_t*, std::size_t) final {}
  void OnAcknowledged(ProtocolState) final {}
  void OnProgress(std::uint32_t confirmed, std::uint32_t length) final;
  void OnEnded(const ExchangeOutcome& outcome) final;

 protected:
  ~ExchangeDisplay() = default;
};

}  // namespace vannor
