// Which device each name of the port list opens.
#include "serial/port_names.h"

#include <gtest/gtest.h>

#include "tests/serial/serial_test_support.h"

namespace vannor::test {
namespace {

TEST(PortNamesTest, TenNamesInListOrderAndNothingOutsideThem) {
  const char* expected[] = {"COM1", "COM2", "COM3", "COM4", "COM5",
                            "COM6", "COM7", "COM8", "COM9", "COM10"};
  for (int i = 0; i < PORT_COUNT; ++i) {
    EXPECT_EQ(PortName(i), expected[i]);
    EXPECT_EQ(PortIndexOf(expected[i]), i);
  }
  for (int outside : {-1, 10, 11, 1000, -1000}) {
    EXPECT_TRUE(PortName(outside).empty()) << outside;
    EXPECT_TRUE(ResolvePortPath(outside).empty()) << outside;
  }
  for (const char* other : {"", "COM0", "COM11", "com1", "COM1 ", "/dev/ttyS0"}) {
    EXPECT_EQ(PortIndexOf(other), -1) << other;
  }
}

TEST(PortNamesTest, UnmappedNamesOpenTheBuiltInPorts) {
  PortMap map;
  EXPECT_EQ(ResolvePortPath(0), "/dev/ttyS0");
  EXPECT_EQ(ResolvePortPath(9), "/dev/ttyS9");
}

TEST(PortNamesTest, AMappedNameOpensItsLinkEvenWhenTheDeviceIsGone) {
  PortMap map;
  ASSERT_TRUE(map.Map(2, "/dev/ttyUSB0"));
  ASSERT_TRUE(map.Map(9, map.Folder() + "/no-such-adapter"));
  EXPECT_EQ(ResolvePortPath(2), map.LinkFor(2));
  // An unplugged adapter must fail to open rather than fall back to /dev/ttyS9.
  EXPECT_EQ(ResolvePortPath(9), map.LinkFor(9));
  EXPECT_EQ(ResolvePortPath(3), "/dev/ttyS3");
}

TEST(PortNamesTest, WithoutConfigHomeTheLinksLiveUnderHome) {
  TempDir home;
  ScopedEnv homeVar("HOME", home.Path().c_str());
  const std::string folder = home.Path() + "/.config/vannor/ports";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  ASSERT_FALSE(error);
  std::filesystem::create_symlink("/dev/null", folder + "/COM4", error);
  ASSERT_FALSE(error);

  ScopedEnv configHome("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(ResolvePortPath(3), folder + "/COM4");
  // A relative XDG_CONFIG_HOME is invalid and ignored.
  configHome.Set("relative/config");
  EXPECT_EQ(ResolvePortPath(3), folder + "/COM4");
}

}  // namespace
}  // namespace vannor::test
