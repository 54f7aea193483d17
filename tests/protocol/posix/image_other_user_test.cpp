// Where the system cannot tell whether a file is held open for writing (a reader who is not its
// owner cannot take a lease on it), a file changed just before the read is refused as one still
// being written. Needs root, to read as another user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "image/image_loader.h"
#include "protocol/link_state.h"
#include "testing/temp_dir.h"

namespace vannor::test {
namespace {

// The outcome of a load by user nobody right after that user has rewritten the file; -1 when
// that user cannot be become or cannot write it.
int LoadOutcomeAsNobodyAfterAWrite(const std::string& path) {
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    std::vector<std::uint8_t> buffer(IMAGE_CAPACITY, 0x22);
    const int file = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (file < 0 || write(file, buffer.data(), 300) != 300 || close(file) != 0) _exit(100);
    _exit(static_cast<int>(LoadImage(path, buffer.data(), buffer.size()).outcome));
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 100 ? -1 : WEXITSTATUS(status);
}

TEST(ImageLoadTest, AFileJustChangedIsRefusedWhereWritersCannotBeRuledOut) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can read the file as another user";
  testkit::TempDir files;
  const std::string path = files.Write("growing.out", std::vector<std::uint8_t>(300, 0x11));
  ASSERT_EQ(chmod(files.Path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  EXPECT_EQ(LoadOutcomeAsNobodyAfterAWrite(path), static_cast<int>(LoadOutcome::BeingWritten));
}

}  // namespace
}  // namespace vannor::test
