// The line contract's far end under Wine: the radio that vannor-wine-radio serves on COM1 from
// a pseudo-terminal, set up by the test's CMake entry; COM4 leads nowhere. The event loop is the
// listener's posts, as the window receives them.
#include <windows.h>

#include <cstdlib>
#include <fstream>

#include "tests/serial/line_contract.h"

namespace vannor::test {

// Nothing to hold here: the radio lives in vannor-wine-radio's process.
struct RadioEnd::Parts {};

RadioEnd::RadioEnd(const RadioSetup& /*setup*/) : parts_(std::make_unique<Parts>()) {}

RadioEnd::~RadioEnd() = default;

bool RadioEnd::Ok() const {
  return std::getenv("VANNOR_RADIO_FOLDER") != nullptr;
}

std::string RadioEnd::Device() const {
  return "\\\\.\\COM1";
}

bool RadioEnd::PortIsFree() const {
  const HANDLE port = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) return false;
  (void)CloseHandle(port);  // ours, and nothing was done with it
  return true;
}

bool RadioEnd::ReceivedImage(const Bytes& image) {
  // Into the folder vannor-wine-radio shares, for its --check-image once this program ends.
  const char* folder = std::getenv("VANNOR_RADIO_FOLDER");
  if (folder == nullptr) return false;
  std::ofstream out(std::string(folder) + "\\image.out", std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
  return out.good();
}

bool TestLoop::Next(Line& /*line*/) {
  // The listener has told the line already; the window only hears that something happened.
  if (!WaitForCount(heard_ + 1, kPatience)) return false;
  heard_ = Count();
  return true;
}

}  // namespace vannor::test
