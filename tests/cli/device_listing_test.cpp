// The device lines of `vannor-cli ports`: each device once, its stable name leading to its node,
// and what the system tells of it.
#include "cli/posix/device_listing.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "testing/posix/fake_serial_tree.h"

namespace vannor::cli {
namespace {

std::string Listed(const std::vector<SerialDevice>& devices) {
  char* text = nullptr;
  std::size_t length = 0;
  std::FILE* out = open_memstream(&text, &length);
  if (out == nullptr) return "open_memstream failed";
  PrintSerialDevices(out, devices);
  (void)std::fclose(out);  // a memory stream: its text is all there is
  std::string listed(text, length);
  std::free(text);
  return listed;
}

TEST(DeviceListingTest, OneLinePerDeviceWithItsIdentity) {
  testkit::FakeSerialTree tree;
  tree.AddUsb({.name = "ttyUSB0",
               .driver = "cp210x",
               .vendorId = "10c4",
               .productId = "ea60",
               .byId = "usb-adapter-if00-port0"});
  tree.AddUart({.name = "ttyS1", .portType = 4, .rxTriggerBytes = 8});
  ASSERT_TRUE(tree.Ok());
  // What each device is told as is the description's own test; here, the lines around it.
  const std::string dev = tree.Roots().dev;
  EXPECT_EQ(Listed(FindSerialDevices(tree.Roots())),
            "Serial devices:\n  " + dev + "/serial/by-id/usb-adapter-if00-port0 -> " + dev +
                "/ttyUSB0  cp210x: USB device 10c4:ea60\n  " + dev +
                "/ttyS1  serial8250: receive trigger 8 bytes\n");
  EXPECT_EQ(Listed({}), "Serial devices:\n  (none found)\n");
}

}  // namespace
}  // namespace vannor::cli
