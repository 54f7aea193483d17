// The whole link on one machine: the real engine, serial layer and listener behind a headless
// window, talking over a pseudo-terminal to the radio simulator, which the tool reaches as
// "COM1" through a port link in a config folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "protocol/link_state.h"
#include "protocol/messages.h"
#include "tests/tools/line_client.h"
#include "tests/tools/temp_folder.h"
#include "tools/headless_host.h"
#include "tools/radio_sim.h"

namespace vannor::e2e {

using Bytes = std::vector<std::uint8_t>;
using headless::HeadlessHost;
using sim::RadioConfig;
using std::chrono::milliseconds;

// Generous bounds for things that normally take milliseconds; a sanitizer build on a busy
// machine is many times slower, and a bound only turns a hang into a failure.
inline constexpr milliseconds PROMPTLY{20000};
// A transfer of up to 200,000 bytes, at tens of microseconds a byte even under a sanitizer.
inline constexpr milliseconds TRANSFER{240000};

// An image of `length` bytes that starts with the bytes a wrong line setting would translate,
// drop or double, then runs through every value.
inline Bytes MakeImage(std::size_t length) {
  static const std::uint8_t nasty[] = {0x13, 0x11, 0x03, 0x1A, 0x0D, 0x0A, 0x7F,
                                       0xFF, 0x00, 0x06, 0x05, 0x56, 0x57, 0x15};
  Bytes image = sim::testing::AllByteValues(length);
  for (std::size_t i = 0; i < length && i < sizeof nasty; ++i) image[i] = nasty[i];
  return image;
}

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Each test starts as a fresh process would.
    linkState.protocolState = ProtocolState::Idle;
    linkState.commandIssued = 0;
    linkState.sendIndex = 0;
    linkState.imageLength = 0;
    shown = 0;
    setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
  }

  void TearDown() override {
    host.reset();
    radio.Stop();
  }

  // Starts the radio, links COM1 to it, and opens COM1 as the window's initialisation does.
  void Connect(const RadioConfig& config, HeadlessHost::Timer timer) {
    ASSERT_TRUE(radio.Start(config));
    ASSERT_TRUE(radio.MapPort(home.Path(), 1));
    host = std::make_unique<HeadlessHost>(timer);
    ASSERT_EQ(host->OpenAndListen(0), 1);
  }

  std::string WriteImage(const Bytes& image, const std::string& name = "dsp.out") {
    const std::string path = home.Path() + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    return path;
  }

  // Waits for the next message box and returns its text.
  std::string NextMessage(milliseconds limit = PROMPTLY) {
    const std::size_t seen = shown;
    if (!host->WaitForMessages(seen + 1, limit)) return "(no message)";
    ++shown;
    return host->Messages()[seen];
  }

  ProtocolState EngineState() {
    ProtocolState state{};
    host->Call([&] { state = linkState.protocolState; });
    return state;
  }

  sim::testing::TempFolder home;
  sim::RadioSimulator radio;
  std::unique_ptr<HeadlessHost> host;
  std::size_t shown = 0;
};

}  // namespace vannor::e2e
