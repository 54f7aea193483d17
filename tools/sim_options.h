// The command line of vannor-radio-sim.
#pragma once

#include <string>
#include <string_view>

#include "tools/radio_session.h"

namespace vannor::sim {

struct SimOptions {
  RadioConfig radio;
  std::string configHome;  // empty: where the tool looks ($XDG_CONFIG_HOME or ~/.config)
  int comNumber = 1;
  bool map = true;
  std::string device;     // serve this device instead of a pseudo-terminal
  std::string imageFile;  // where each image that ends is written; empty: nowhere
  bool quiet = false;
  bool help = false;
};

extern const std::string_view SIM_USAGE;

// False on a usage error, with the reason in `error`.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);

}  // namespace vannor::sim
