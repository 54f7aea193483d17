// Choosing and loading image files from real files on disk: through the engine, so that each
// refusal is checked together with its message and with nothing sent to the radio.
#include "image/image_loader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "protocol/messages.h"
#include "testing/special_file.h"
#include "tests/protocol/fake_engine_host.h"

namespace vannor::test {
namespace {

class ImageLoaderTest : public ::testing::Test {
 protected:
  // Update with the file at path chosen; true when the request went out.
  bool Choose(const std::string& path) {
    host.messages.clear();
    host.writes.clear();
    // A fresh link each time: every choice starts from Idle.
    engine = host.MakeEngine();
    host.chosenPath = path;
    host.ClickUpdate(*engine);
    return !host.writes.empty();
  }
  std::vector<std::string> Said(std::string_view message) { return {std::string(message)}; }

  FakeEngineHost host;
  std::unique_ptr<ProtocolEngine> engine;
  TempDir files;
};

TEST_F(ImageLoaderTest, ExtensionMustBeExactlyOut) {
  EXPECT_TRUE(Choose(files.Write("dsp.out", {1})));
  EXPECT_TRUE(Choose(files.Write("a.b.out", {1})));
  EXPECT_TRUE(host.messages.empty());
  for (const char* name : {"dsp.OUT", "dsp.Out", "dsp", "dsp.", "dsp.out.bak", "out"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Choose(files.Write(name, {1})));
    EXPECT_EQ(host.messages, Said(MSG_FILE_ERROR));
  }
  // Only the file's own name counts, not a dot in its folder.
  std::filesystem::create_directory(files.Path() + "/x.out");
  EXPECT_FALSE(Choose(files.Write("x.out/dsp", {1})));
  EXPECT_EQ(FileExtension("C:\\x.out\\dsp"), "");
}

TEST_F(ImageLoaderTest, CancelAndFilesThatCannotBeRead) {
  EXPECT_FALSE(Choose(""));
  EXPECT_TRUE(host.messages.empty());
  // A folder, a missing file, and a FIFO (which a blocking open would wait on for ever) or on
  // Windows a device.
  std::filesystem::create_directory(files.Path() + "/dir.out");
  const std::string special = testkit::MakeNonRegularFile(files);
  ASSERT_FALSE(special.empty());
  for (const std::string& path :
       {files.Path() + "/missing.out", files.Path() + "/dir.out", special}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(Choose(path));
    EXPECT_EQ(host.messages, Said(MSG_FILE_OPEN_ERROR));
    EXPECT_FALSE(host.timerRunning);
  }
}

TEST_F(ImageLoaderTest, BytesArriveUntranslatedAndInPlace) {
  const Bytes content = {0x00, 0x0D, 0x0A, 0x1A, 0xFF, 0x0D, 0x0A, 0x00, 0x1A};
  ASSERT_TRUE(Choose(files.Write("dsp.out", content)));
  ASSERT_EQ(engine->State().imageLength, content.size());
  EXPECT_EQ(Bytes(engine->State().image, engine->State().image + content.size()), content);

  ASSERT_TRUE(Choose(files.Write("three.out", {7, 8, 9})));
  EXPECT_EQ(engine->State().imageLength, 3u);
}

TEST_F(ImageLoaderTest, SizeLimits) {
  Bytes full(IMAGE_CAPACITY);
  for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<std::uint8_t>(i * 31 + 5);
  ASSERT_TRUE(Choose(files.Write("full.out", full)));
  EXPECT_EQ(engine->State().imageLength, IMAGE_CAPACITY);
  EXPECT_TRUE(std::equal(full.begin(), full.end(), engine->State().image));

  full.push_back(0x99);
  EXPECT_FALSE(Choose(files.Write("over.out", full)));
  EXPECT_EQ(host.messages, Said(MSG_FILE_SIZE_ERROR));
  EXPECT_FALSE(Choose(files.Write("empty.out", {})));
  EXPECT_EQ(host.messages, Said(MSG_FILE_SIZE_ERROR));
  EXPECT_EQ(engine->State().imageLength, 0u);
}

// Nothing past the caller's buffer is ever stored, whatever the file holds by the time it is
// read; a file larger than the buffer is refused whole.
TEST(ImageLoadTest, NeverStoresPastTheBuffer) {
  TempDir files;
  std::vector<std::uint8_t> buffer(101, 0xEE);
  const std::string path = files.Write("grow.out", Bytes(100, 0x5A));
  EXPECT_EQ(LoadImage(path, buffer.data(), 100).outcome, LoadOutcome::Loaded);
  EXPECT_EQ(LoadImage(path, buffer.data(), 99).outcome, LoadOutcome::SizeError);
  EXPECT_EQ(buffer[99], 0x5A);  // the first load's
  EXPECT_EQ(buffer[100], 0xEE);
}

// A file rewritten in place to the same size while it is read: a load that passes holds one
// version of the file whole; the others are refused as changed, never sent half and half. (A
// write held up inside the system for longer than the settling time could still pass: the
// writer's slowest write is kept to tell that case.)
TEST(ImageLoadTest, AFileRewrittenWhileItIsReadIsNeverLoadedTorn) {
  using namespace std::chrono;
  TempDir files;
  const std::string path = files.Write("busy.out", Bytes(IMAGE_CAPACITY, 0x11));
  std::atomic<bool> stop{false};
  std::atomic<long long> slowestWriteMs{0};
  std::atomic<int> versions{0};
  std::thread writer([&] {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    // Unbuffered: each version goes out in one write of the system's, so between writes the
    // file is all one value.
    if (file == nullptr || std::setvbuf(file, nullptr, _IONBF, 0) != 0) return;
    Bytes version(IMAGE_CAPACITY);
    for (std::uint8_t value = 0x22; !stop; value ^= 0x33) {
      std::fill(version.begin(), version.end(), value);
      const auto start = steady_clock::now();
      if (std::fseek(file, 0, SEEK_SET) != 0 ||
          std::fwrite(version.data(), 1, version.size(), file) != version.size()) {
        break;
      }
      const long long took = duration_cast<milliseconds>(steady_clock::now() - start).count();
      if (took > slowestWriteMs) slowestWriteMs = took;
      ++versions;
    }
    std::fclose(file);
  });
  // A load takes no time left to itself: the loads start once the writer is at work.
  for (const auto giveUp = steady_clock::now() + seconds(5);
       versions == 0 && steady_clock::now() < giveUp;) {
    std::this_thread::yield();
  }
  std::vector<std::uint8_t> buffer(IMAGE_CAPACITY);
  int changed = 0;
  int torn = 0;
  for (int load = 0; load < 20; ++load) {
    const LoadResult result = LoadImage(path, buffer.data(), buffer.size());
    if (result.outcome == LoadOutcome::Loaded) {
      if (std::count(buffer.begin(), buffer.end(), buffer[0]) != IMAGE_CAPACITY) ++torn;
    } else {
      // Where the system tells that the writer holds it open, it is refused before the read.
      EXPECT_TRUE(result.outcome == LoadOutcome::Changed ||
                  result.outcome == LoadOutcome::BeingWritten)
          << load;
      ++changed;
    }
  }
  stop = true;
  writer.join();
  EXPECT_TRUE(torn == 0 || slowestWriteMs > IMAGE_SETTLE_MS) << torn << " loads torn";
  EXPECT_GT(changed, 0);  // the writer did overlap the loads
  // Left alone, the same file loads.
  EXPECT_EQ(LoadImage(path, buffer.data(), buffer.size()).outcome, LoadOutcome::Loaded);
}

// A file that another program holds open for writing is refused, never sent as it stands.
// Nothing waits for a file to settle.
TEST_F(ImageLoaderTest, AFileStillBeingWrittenIsRefused) {
  const std::string path = files.Write("growing.out", Bytes(300, 0x11));
  {
    std::ofstream writer(path, std::ios::binary | std::ios::app);
    ASSERT_TRUE(writer.good());
    EXPECT_FALSE(Choose(path));
    EXPECT_EQ(host.messages, Said(MSG_FILE_OPEN_ERROR));
    EXPECT_EQ(ReadUpdateImage(path)->chosen.problem, "the image is still being written");
  }
  EXPECT_TRUE(Choose(path));  // closed: the owner loads it at once
}

// A file replaced under its name while it is read is no longer the file that was chosen. Windows
// refuses to replace a file that a load holds open, which keeps that load whole as well.
TEST(ImageLoadTest, AFileReplacedWhileItIsReadIsRefused) {
  TempDir files;
  const std::string path = files.Write("swap.out", Bytes(IMAGE_CAPACITY, 0x11));
  const std::string other = files.Write("other.out", Bytes(IMAGE_CAPACITY, 0x22));
  std::atomic<bool> stop{false};
  std::atomic<int> refused{0};
  std::thread replacer([&] {
    while (!stop) {
      std::error_code error;
      std::filesystem::copy_file(testkit::PathFromUtf8(other), testkit::PathFromUtf8(path + ".new"),
                                 std::filesystem::copy_options::overwrite_existing, error);
      if (error) continue;
      std::filesystem::rename(testkit::PathFromUtf8(path + ".new"), testkit::PathFromUtf8(path),
                              error);
      if (error) ++refused;
    }
  });
  std::vector<std::uint8_t> buffer(IMAGE_CAPACITY);
  int changed = 0;
  // A replacement falls inside a load only now and then: loads go on until one has.
  for (int load = 0; load < 8 || (changed + refused == 0 && load < 20000); ++load) {
    const LoadResult result = LoadImage(path, buffer.data(), buffer.size());
    if (result.outcome == LoadOutcome::Changed) ++changed;
    // The one version or the other, each whole.
    if (result.outcome == LoadOutcome::Loaded) {
      EXPECT_EQ(std::count(buffer.begin(), buffer.end(), buffer[0]), IMAGE_CAPACITY) << load;
    }
  }
  stop = true;
  replacer.join();
  // The replacing did meet the loads: as a change a load saw, or as a replacement refused.
  EXPECT_GT(changed + refused, 0);
}

}  // namespace
}  // namespace vannor::test
