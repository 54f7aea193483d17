// The whole link on one machine: the Link the programs use (engine, line, port watch) behind
// a headless window, talking over a pseudo-terminal to the radio simulator, which the tool reaches
// as "COM1" through a port link in a config folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "history/history_reader.h"
#include "protocol/messages.h"
#include "testing/headless_host.h"
#include "testing/images.h"
#include "testing/scoped_env.h"
#include "testing/temp_dir.h"
#include "tools/radio_sim.h"

namespace vannor::e2e {

using Bytes = std::vector<std::uint8_t>;
using headless::Box;
using headless::HeadlessHost;
using headless::Label;
using sim::RadioConfig;
using std::chrono::milliseconds;

// Generous bounds for things that normally take milliseconds; a sanitizer build on a busy
// machine is many times slower, and a bound only turns a hang into a failure.
inline constexpr milliseconds PROMPTLY{20000};
// A transfer of up to 200,000 bytes, at tens of microseconds a byte even under a sanitizer.
inline constexpr milliseconds TRANSFER{240000};

using testkit::MakeImage;

class LinkTest : public ::testing::Test {
 protected:
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
    return home.Write(name, image);
  }

  // Waits for the next message box and returns its text.
  std::string NextMessage(milliseconds limit = PROMPTLY) {
    const std::size_t seen = shown;
    if (!host->WaitForMessages(seen + 1, limit)) return "(no message)";
    ++shown;
    return host->Messages()[seen];
  }

  ProtocolState EngineState() { return host->Look().state; }

  testkit::TempDir home;
  testkit::ScopedEnv configHome{"XDG_CONFIG_HOME", home.Path().c_str()};
  sim::RadioSimulator radio;
  std::unique_ptr<HeadlessHost> host;
  std::size_t shown = 0;
};

}  // namespace vannor::e2e
