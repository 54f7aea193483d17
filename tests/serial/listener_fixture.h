// A link as the window sets it up: COM1 on a pseudo-terminal whose master plays the radio, COM4
// mapped to a device that is missing, and the listener once a test starts it. Whatever a test
// leaves running is stopped afterwards.
#pragma once

#include <gtest/gtest.h>

#include "tests/serial/serial_test_support.h"

namespace vannor::test {

inline constexpr int kMissingPort = 3;

class ListenerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(radio.Ok());
    ASSERT_TRUE(map.Map(0, radio.SlavePath()));
    ASSERT_TRUE(map.Map(kMissingPort, map.Folder() + "/unplugged"));
  }
  void TearDown() override {
    line.StopLink();
    line.SetListenerPauseHook(nullptr);
  }

  void Start() { ASSERT_TRUE(line.StartListener(target)); }

  PortMap map;
  FarEnd radio;
  // Outlives the line, whose listener posts to it.
  CountingTarget target;
  PosixLine line;
};

}  // namespace vannor::test
