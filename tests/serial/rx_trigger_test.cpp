// A UART's receive trigger, lowered while its port is open, against files that stand in for its
// sysfs attribute: what is written, what is put back, and what a user who may not write it is
// told to do.
#include "serial/linux/rx_trigger.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "testing/temp_dir.h"

namespace vannor::test {
namespace {

std::optional<std::string> Contents(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct TriggerRow {
  const char* name;
  std::optional<std::string> before;  // the attribute's text; nullopt: no attribute
  int inEffect;
  std::optional<std::string> whileOpen;
  std::optional<std::string> after;
};

TEST(RxTriggerTest, LoweredTo1WhileOpenAndPutBackAfter) {
  const TriggerRow rows[] = {
      {"the 8250 driver's default for a 16550", "8\n", 1, "1", "8"},
      {"a 16550 set to its highest level", "14\n", 1, "1", "14"},
      // Not rewritten: nothing of this program's to put back either.
      {"already at 1", "1\n", 1, "1\n", "1\n"},
      {"no such attribute (a USB adapter, a pseudo-terminal)", std::nullopt, 0, std::nullopt,
       std::nullopt},
      {"a driver that answers no number", "garbage\n", 0, "garbage\n", "garbage\n"},
  };
  for (const TriggerRow& row : rows) {
    SCOPED_TRACE(row.name);
    testkit::TempDir dir;
    const std::string attribute = dir.Path() + "/rx_trig_bytes";
    if (row.before) std::ofstream(attribute) << *row.before;
    {
      RxTrigger trigger;
      trigger.Lower(attribute);
      EXPECT_EQ(trigger.InEffect().bytes, row.inEffect);
      EXPECT_EQ(trigger.InEffect().remedy, "");
      EXPECT_EQ(Contents(attribute), row.whileOpen);
      trigger.Restore();
      EXPECT_EQ(trigger.InEffect().bytes, 0);
    }
    EXPECT_EQ(Contents(attribute), row.after);
  }
}

// Whatever way the port closes, the object that lowered the trigger puts it back: also when it
// goes without Restore (the program's end), and when the attribute went with its device.
TEST(RxTriggerTest, PutBackWhenTheObjectGoesAndNothingMadeWhenTheDeviceWent) {
  testkit::TempDir dir;
  const std::string attribute = dir.Path() + "/rx_trig_bytes";
  std::ofstream(attribute) << "8\n";
  {
    RxTrigger trigger;
    trigger.Lower(attribute);
  }
  EXPECT_EQ(Contents(attribute), "8");
  {
    RxTrigger trigger;
    trigger.Lower(attribute);
    std::filesystem::remove(attribute);
  }
  EXPECT_FALSE(std::filesystem::exists(attribute));
}

// The attribute belongs to root and this user may not write it (no udev rule): the trigger found
// is told, with the remedy that names the attribute, and the attribute stays as it was. Runs in
// a child process as an unprivileged user, since root may write any file.
TEST(RxTriggerTest, AUserWhoMayNotWriteItIsToldTheTriggerAndTheRemedy) {
  testkit::TempDir dir;
  const std::string attribute = dir.Path() + "/rx_trig_bytes";
  std::ofstream(attribute) << "8\n";
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(attribute.c_str(), 0644), 0);
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(attribute.c_str(), 0444), 0);
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    constexpr uid_t NOBODY = 65534;
    if (geteuid() == 0 && (setgid(NOBODY) != 0 || setuid(NOBODY) != 0)) _exit(2);
    RxTrigger trigger;
    trigger.Lower(attribute);
    const UartTrigger told = trigger.InEffect();
    const bool right = told.bytes == 8 && told.remedy.find("dialout") != std::string::npos &&
                       told.remedy.find("echo 1 | sudo tee " + attribute) != std::string::npos;
    _exit(right ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the trigger or the remedy was not told; 2: no user";
  EXPECT_EQ(Contents(attribute), "8\n");
}

}  // namespace
}  // namespace vannor::test
