// The serial devices found and what is told of each, on a /dev and /sys of the test's own (this
// machine has no USB adapter), and the COM links written and removed for vannor-cli and the
// window.
#include "serial/linux/serial_devices.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "serial/port_links.h"
#include "testing/posix/fake_serial_tree.h"
#include "tests/serial/serial_test_support.h"

namespace vannor::test {
namespace {

namespace fs = std::filesystem;
using testkit::FakeSerialTree;

TEST(SerialDevicesTest, ByIdNamesFirstThenNodesWithHardwareInNaturalOrder) {
  FakeSerialTree tree;
  tree.AddUsb({.name = "ttyUSB0",
               .maker = "FTDI",
               .product = "FT232R USB UART",
               .serialNumber = "A9XYZ",
               .latencyTimerMs = 16,
               .byId = "usb-FTDI_FT232R_USB_UART_A9XYZ-if00-port0"});
  tree.AddUsb({.name = "ttyACM0",
               .driver = "cdc_acm",
               .vendorId = "2341",
               .productId = "0043",
               .maker = "Arduino (www.arduino.cc)",
               .product = "Arduino Uno",
               .serialNumber = "7543",
               .byId = "usb-Arduino__www.arduino.cc__0043_7543-if00"});
  // No strings, and no by-id name (udev not running).
  tree.AddUsb({.name = "ttyUSB1", .driver = "cp210x", .vendorId = "10c4", .productId = "ea60"});
  tree.AddUart({.name = "ttyS0", .portType = 4, .rxTriggerBytes = 8});
  tree.AddUart({.name = "ttyS1", .portType = 0, .rxTriggerBytes = 1});
  tree.AddUart({.name = "ttyS10", .portType = 4, .rxTriggerBytes = 14});
  tree.AddUart({.name = "ttyS2", .portType = 4, .rxTriggerBytes = 1});
  tree.AddVirtual("tty1");
  tree.SetConsole("tty0 ttyS0");
  ASSERT_TRUE(tree.Ok());
  const std::string dev = tree.Roots().dev;

  struct Row {
    std::string path;
    std::string node;
    std::string said;
  };
  const std::vector<Row> expected = {
      {dev + "/serial/by-id/usb-Arduino__www.arduino.cc__0043_7543-if00", dev + "/ttyACM0",
       "cdc_acm: Arduino (www.arduino.cc) Arduino Uno, serial number 7543"},
      {dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A9XYZ-if00-port0", dev + "/ttyUSB0",
       "ftdi_sio: FTDI FT232R USB UART, serial number A9XYZ, latency timer 16 ms"},
      // The kernel's serial-base devices stand between a UART and its driver.
      {dev + "/ttyS0", dev + "/ttyS0", "serial8250: receive trigger 8 bytes, the system console"},
      {dev + "/ttyS2", dev + "/ttyS2", "serial8250: receive trigger 1 bytes"},
      {dev + "/ttyS10", dev + "/ttyS10", "serial8250: receive trigger 14 bytes"},
      {dev + "/ttyUSB1", dev + "/ttyUSB1", "cp210x: USB device 10c4:ea60"},
  };
  const std::vector<SerialDevice> found = FindSerialDevices(tree.Roots());
  ASSERT_EQ(found.size(), expected.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    SCOPED_TRACE(expected[i].path);
    EXPECT_EQ(found[i].path, expected[i].path);
    EXPECT_EQ(found[i].node, expected[i].node);
    EXPECT_EQ(DescribeDevice(found[i]), expected[i].said);
  }
}

TEST(SerialDevicesTest, NoFoldersNoDevices) {
  TempDir empty;
  EXPECT_TRUE(
      FindSerialDevices({.dev = empty.Path() + "/dev", .sys = empty.Path() + "/sys"}).empty());
  EXPECT_EQ(DescribeDevice(SerialDevice{}), "");
}

// A COM link leads through a by-id name to the node; a pseudo-terminal or a missing device has
// nothing to tell.
TEST(SerialDevicesTest, IdentifiesWhatALinkLeadsTo) {
  FarEnd pty;
  ASSERT_TRUE(pty.Ok());
  FakeSerialTree tree;
  const std::string byId = tree.AddUsb({.name = "ttyUSB3",
                                        .driver = "pl2303",
                                        .vendorId = "067b",
                                        .productId = "2303",
                                        .maker = "Prolific Technology Inc.",
                                        .product = "Prolific Technology Inc. USB-Serial",
                                        .byId = "usb-Prolific-if00-port0",
                                        .opens = pty.SlavePath()});
  ASSERT_TRUE(tree.Ok());
  PortMap map;
  ASSERT_TRUE(map.Map(0, byId));

  const SerialDevice behind = IdentifyDevice(map.LinkFor(0), tree.Roots());
  EXPECT_EQ(behind.node, tree.Roots().dev + "/ttyUSB3");
  EXPECT_EQ(DescribeDevice(behind), "pl2303: Prolific Technology Inc. USB-Serial");
  for (const std::string& nothing : {pty.SlavePath(), map.Folder() + "/gone"}) {
    const SerialDevice unknown = IdentifyDevice(nothing, tree.Roots());
    EXPECT_EQ(unknown.node, nothing);
    EXPECT_EQ(DescribeDevice(unknown), "");
  }
}

TEST(PortLinksTest, WhereEachNameLeads) {
  PortMap map;
  FarEnd pty;
  ASSERT_TRUE(pty.Ok());
  ASSERT_TRUE(map.Map(0, pty.SlavePath()));
  ASSERT_TRUE(map.Map(1, map.Folder() + "/unplugged"));
  const PortLinkState linked = PortLinkOf(0);
  EXPECT_TRUE(linked.linked);
  EXPECT_EQ(linked.opens, pty.SlavePath());
  EXPECT_TRUE(linked.connected);
  const PortLinkState gone = PortLinkOf(1);
  EXPECT_TRUE(gone.linked);
  EXPECT_EQ(gone.opens, map.Folder() + "/unplugged");
  EXPECT_FALSE(gone.connected);
  const PortLinkState plain = PortLinkOf(2);
  EXPECT_FALSE(plain.linked);
  EXPECT_EQ(plain.opens, "/dev/ttyS2");
  EXPECT_EQ(plain.fallback, "/dev/ttyS2");
  EXPECT_EQ(linked.fallback, "/dev/ttyS0");
}

TEST(PortLinksTest, WritesReplacesAndRemovesLinksButNothingElse) {
  PortMap map;
  // Relative to where the user is, not to the link's folder.
  const PortLinkChange written = WritePortLink(4, "relative-device");
  EXPECT_EQ(written.failure, PortLinkFailure::None) << written.reason;
  EXPECT_EQ(written.target, (fs::current_path() / "relative-device").string());
  EXPECT_EQ(fs::read_symlink(map.LinkFor(4)), fs::current_path() / "relative-device");
  EXPECT_EQ(WritePortLink(4, "/dev/ttyUSB0").failure, PortLinkFailure::None);
  EXPECT_EQ(fs::read_symlink(map.LinkFor(4)), "/dev/ttyUSB0");
  EXPECT_FALSE(fs::exists(map.LinkFor(4) + ".new"));

  EXPECT_EQ(RemovePortLink(4).failure, PortLinkFailure::None);
  EXPECT_FALSE(fs::is_symlink(map.LinkFor(4)));
  EXPECT_EQ(RemovePortLink(4).failure, PortLinkFailure::None);  // nothing to remove

  // A file the user put there is theirs.
  std::ofstream(map.LinkFor(5)) << "notes\n";
  for (const PortLinkChange& refused : {WritePortLink(5, "/dev/ttyUSB0"), RemovePortLink(5)}) {
    EXPECT_EQ(refused.failure, PortLinkFailure::NotWritten);
    EXPECT_EQ(refused.where, map.LinkFor(5));
    EXPECT_EQ(refused.reason, "not a link; left as it is");
  }
  EXPECT_TRUE(fs::is_regular_file(map.LinkFor(5)));
}

TEST(PortLinksTest, AFolderThatCannotBeWrittenSaysWhy) {
  TempDir home;
  ScopedEnv configHome("XDG_CONFIG_HOME", home.Path().c_str());
  // Even root cannot make a folder below a file.
  std::ofstream(home.Path() + "/vannor") << "";
  const PortLinkChange change = WritePortLink(0, "/dev/ttyUSB0");
  EXPECT_EQ(change.failure, PortLinkFailure::NotWritten);
  EXPECT_EQ(change.where, home.Path() + "/vannor/ports");
  EXPECT_EQ(change.reason, "Not a directory");
  // Nor is the name taken for the built-in port: a link may hide there.
  const PortLinkState refused = PortLinkOf(0);
  EXPECT_EQ(refused.refusal, "Not a directory");
  EXPECT_EQ(refused.opens, home.Path() + "/vannor/ports");
  EXPECT_FALSE(refused.linked);

  // A user without a home folder has nowhere to write, and is told why. Only root can become
  // one the password database does not know; no one else may write to the real home.
  if (geteuid() != 0) GTEST_SKIP() << "only root can become a user without a home folder";
  ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
  ScopedEnv noHome("HOME", nullptr);
  const pid_t child = fork();
  if (child == 0) {
    if (setuid(4000000) != 0) _exit(2);
    const PortLinkChange change = WritePortLink(0, "/dev/ttyUSB0");
    _exit(change.failure == PortLinkFailure::NoFolder &&
                  change.reason.rfind("no home folder: ", 0) == 0
              ? 0
              : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace vannor::test
