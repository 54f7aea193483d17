// Which device each name of the port list opens.
#include "serial/port_names.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "serial/linux/port_link_path.h"
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
    EXPECT_TRUE(ResolvePort(outside).path.empty()) << outside;
  }
  for (const char* other : {"", "COM0", "COM11", "com1", "COM1 ", "/dev/ttyS0"}) {
    EXPECT_EQ(PortIndexOf(other), -1) << other;
  }
}

TEST(PortNamesTest, UnmappedNamesOpenTheBuiltInPorts) {
  PortMap map;
  EXPECT_EQ(ResolvePort(0).path, "/dev/ttyS0");
  EXPECT_EQ(ResolvePort(9).path, "/dev/ttyS9");
}

TEST(PortNamesTest, AMappedNameOpensItsLinkEvenWhenTheDeviceIsGone) {
  PortMap map;
  ASSERT_TRUE(map.Map(2, "/dev/ttyUSB0"));
  ASSERT_TRUE(map.Map(9, map.Folder() + "/no-such-adapter"));
  EXPECT_EQ(ResolvePort(2).path, map.LinkFor(2));
  // An unplugged adapter must fail to open rather than fall back to /dev/ttyS9; its messages
  // name the link and the device that is missing.
  EXPECT_EQ(ResolvePort(9).path, map.LinkFor(9));
  EXPECT_EQ(ResolvePort(9).Shown(), map.LinkFor(9) + " -> " + map.Folder() + "/no-such-adapter");
  EXPECT_EQ(ResolvePort(3).path, "/dev/ttyS3");
  EXPECT_EQ(ResolvePort(3).Shown(), "/dev/ttyS3");
  EXPECT_EQ(ResolvePortName("COM3").path, map.LinkFor(2));
  EXPECT_EQ(ResolvePortName("/dev/ttyUSB7").Shown(), "/dev/ttyUSB7");
  // A port written in another case is that port; one outside the list is none, and is not
  // looked for as a file of that name.
  EXPECT_EQ(ResolvePortName("com3").path, map.LinkFor(2));
  for (const char* outside : {"COM11", "COM0", "COM01", "com99999999999"}) {
    EXPECT_EQ(ResolvePortName(outside).refusal,
              "no such port; the ports are COM1 to COM10, or give a device's path")
        << outside;
  }
  // Unless there is such a file here: a name that is a path stays the path.
  TempDir here;
  here.Write("COM11", {});
  here.Write("com3", {});
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(here.Path());
  const ResolvedPort file = ResolvePortName("COM11");
  const ResolvedPort other = ResolvePortName("com3");
  std::filesystem::current_path(before);
  EXPECT_EQ(file.path, "COM11");
  EXPECT_EQ(file.refusal, "");
  EXPECT_EQ(other.path, "com3");
}

// What ResolvePort(1) says, as a user who is not root: root passes every permission check, so
// there the question is put in a child that has given root up (for `user`, nobody by default).
ResolvedPort ResolveCom2AsUser(uid_t user = 65534) {
  if (geteuid() != 0) return ResolvePort(1);
  int answer[2];
  if (pipe(answer) != 0) return ResolvedPort{};
  const pid_t child = fork();
  if (child == 0) {
    close(answer[0]);
    if (setgid(user) != 0 || setuid(user) != 0) _exit(1);
    const ResolvedPort port = ResolvePort(1);
    const std::string text = port.path + "\n" + port.refusal;
    _exit(write(answer[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
  }
  close(answer[1]);
  const Bytes said = FarEnd::ReadFrom(answer[0], 4096);
  close(answer[0]);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || status != 0) return ResolvedPort{};
  const std::string text(said.begin(), said.end());
  const std::size_t end = text.find('\n');
  return ResolvedPort{
      .path = text.substr(0, end), .linkTarget = {}, .refusal = text.substr(end + 1)};
}

// Only a folder or link that does not exist leads to the built-in port; whatever else keeps the
// link from being read refuses the port, naming the folder and the system's reason.
TEST(PortNamesTest, OnlyAMissingFolderOrLinkFallsBack) {
  struct Row {
    const char* what;
    std::function<bool(const std::string& config)> make;
    const char* refusal;  // nullptr: falls back to /dev/ttyS1
  };
  namespace fs = std::filesystem;
  auto ok = [](std::error_code error) { return !error; };
  const std::vector<Row> rows = {
      {"no folder", [](const std::string&) { return true; }, nullptr},
      {"no link",
       [&](const std::string& config) {
         std::error_code error;
         fs::create_directories(config + "/vannor/ports", error);
         return ok(error);
       },
       nullptr},
      {"a file where the folder belongs",
       [&](const std::string& config) { return std::ofstream(config + "/vannor").good(); },
       "Not a directory"},
      {"a link loop on the way",
       [&](const std::string& config) {
         std::error_code error;
         fs::create_symlink(config + "/vannor", config + "/vannor", error);
         return ok(error);
       },
       "Too many levels of symbolic links"},
      {"a folder that cannot be searched",
       [&](const std::string& config) {
         std::error_code error;
         fs::create_directories(config + "/vannor/ports", error);
         fs::create_symlink("/dev/ttyUSB0", config + "/vannor/ports/COM2", error);
         fs::permissions(config + "/vannor/ports", fs::perms::none, error);
         return ok(error);
       },
       "Permission denied"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir config;
    ScopedEnv configHome("XDG_CONFIG_HOME", config.Path().c_str());
    std::error_code error;  // open to the user the question is put as, whatever the umask
    fs::permissions(config.Path(), fs::perms::owner_all | fs::perms::others_exec, error);
    ASSERT_FALSE(error);
    ASSERT_TRUE(row.make(config.Path()));
    const ResolvedPort port = ResolveCom2AsUser();
    if (row.refusal == nullptr) {
      EXPECT_EQ(port.path, "/dev/ttyS1");
      EXPECT_EQ(port.refusal, "");
    } else {
      EXPECT_EQ(port.path, config.Path() + "/vannor/ports");
      EXPECT_EQ(port.refusal, row.refusal);
    }
    std::error_code ignored;  // TempDir cannot clear a folder it may not enter
    fs::permissions(config.Path() + "/vannor/ports", fs::perms::owner_all, ignored);
  }
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
  EXPECT_EQ(ResolvePort(3).path, folder + "/COM4");
  // A relative XDG_CONFIG_HOME is invalid and ignored.
  configHome.Set("relative/config");
  EXPECT_EQ(ResolvePort(3).path, folder + "/COM4");

  // Without either variable the home folder is the password database's.
  homeVar.Set(nullptr);
  const passwd* user = getpwuid(getuid());
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(PortLinkPath(3), std::string(user->pw_dir) + "/.config/vannor/ports/COM4");
  // A user it does not know has no home: no one can tell where the names lead, so none opens.
  if (geteuid() != 0) GTEST_SKIP() << "only root can become a user the system does not know";
  const uid_t unknown = 4000000;
  ASSERT_EQ(getpwuid(unknown), nullptr);
  const ResolvedPort port = ResolveCom2AsUser(unknown);
  EXPECT_EQ(port.path, "~/.config/vannor/ports");
  EXPECT_EQ(port.refusal,
            "no home folder: neither XDG_CONFIG_HOME nor HOME names one, and the password "
            "database has none for this user");
}

}  // namespace
}  // namespace vannor::test
