// The COMn link that the simulator makes for the tool, and what it leaves behind.
#include "tools/port_map.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "testing/temp_dir.h"
#include "tests/tools/line_client.h"
#include "tools/radio_sim.h"

namespace vannor::sim {
namespace {

namespace fs = std::filesystem;
using testing::LineClient;
using TempFolder = testkit::TempDir;

TEST(PortMap, TheToolsComPortReachesTheSimulatorThroughTheLink) {
  TempFolder home;
  RadioSimulator radio;
  ASSERT_TRUE(radio.Start(RadioConfig{}));
  // The folders do not exist yet: the link makes them.
  ASSERT_TRUE(radio.MapPort(home.Path(), 10));
  const std::string link = home.Path() + "/vannor/ports/COM10";
  EXPECT_EQ(radio.MappedLink(), link);
  EXPECT_EQ(fs::read_symlink(link), radio.SlavePath());

  LineClient client(link);
  ASSERT_TRUE(client.Ok());
  ASSERT_TRUE(client.Send({RADIO_VERSION_COMMAND}));
  EXPECT_EQ(client.Receive(4), (std::vector<std::uint8_t>{1, 3, 2, 0}));

  radio.Stop();
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(PortMap, ALinkThatWasThereIsPutBackAndOnlyLinksAreReplaced) {
  TempFolder home;
  const std::string folder = home.Path() + "/vannor/ports";
  fs::create_directories(folder);
  fs::create_symlink("/dev/ttyUSB0", folder + "/COM1");
  std::ofstream(folder + "/COM2") << "not a link";

  RadioSimulator radio;
  ASSERT_TRUE(radio.Start(RadioConfig{}));
  EXPECT_FALSE(radio.MapPort(home.Path(), 2));  // a file of the user's stays untouched
  EXPECT_FALSE(radio.MapPort(home.Path(), 0));
  EXPECT_FALSE(radio.MapPort(home.Path(), 11));
  ASSERT_TRUE(radio.MapPort(home.Path(), 1));
  EXPECT_EQ(fs::read_symlink(folder + "/COM1"), radio.SlavePath());
  // Moving the mapping to another port puts the first one back at once.
  ASSERT_TRUE(radio.MapPort(home.Path(), 3));
  EXPECT_EQ(fs::read_symlink(folder + "/COM1"), "/dev/ttyUSB0");
  ASSERT_TRUE(radio.MapPort(home.Path(), 1));
  radio.Stop();
  EXPECT_EQ(fs::read_symlink(folder + "/COM1"), "/dev/ttyUSB0");
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder + "/COM3")));
  std::ifstream file(folder + "/COM2");
  std::string text;
  std::getline(file, text);
  EXPECT_EQ(text, "not a link");
  // Nothing temporary is left beside the links.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

TEST(PortMap, ALinkSomeoneElseRepointedIsTheirsAndStays) {
  TempFolder home;
  PortMapping mapping;
  ASSERT_TRUE(MapPortLink(home.Path(), 4, "/dev/pts/999", mapping));
  const std::string link = home.Path() + "/vannor/ports/COM4";
  fs::remove(link);
  fs::create_symlink("/dev/ttyS3", link);
  UnmapPortLink(mapping);
  EXPECT_EQ(fs::read_symlink(link), "/dev/ttyS3");
  EXPECT_TRUE(mapping.linkPath.empty());
}

TEST(PortMap, TheDefaultFolderIsWhereTheToolLooks) {
  const char* savedXdg = getenv("XDG_CONFIG_HOME");
  const std::string xdg = savedXdg == nullptr ? "" : savedXdg;
  const char* savedHome = getenv("HOME");
  const std::string home = savedHome == nullptr ? "" : savedHome;
  setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  EXPECT_EQ(DefaultConfigHome(), "/somewhere/config");
  setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(DefaultConfigHome(), "/home/someone/.config");
  setenv("HOME", "", 1);
  EXPECT_EQ(DefaultConfigHome(), "");  // nowhere to link: the program says so and stops
  setenv("HOME", home.c_str(), 1);
  if (savedXdg == nullptr) {
    unsetenv("XDG_CONFIG_HOME");
  } else {
    setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  }
}

}  // namespace
}  // namespace vannor::sim
