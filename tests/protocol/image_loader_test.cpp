// Choosing and loading image files from real files on disk.
#include "image/image_loader.h"

#include <gtest/gtest.h>

#include "protocol/link_state.h"
#include "protocol/messages.h"
#include "tests/protocol/fake_engine_host.h"
#include "tests/protocol/temp_dir.h"

namespace vannor::test {
namespace {

class ImageLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLinkState(); }

  SelectOutcome Choose(const std::string& path) {
    host.chosenPath = path;
    ImageSelection selection = SelectImageFile(host);
    if (selection.outcome == SelectOutcome::Opened) loaded = LoadImage(selection.stream);
    return selection.outcome;
  }

  FakeEngineHost host;
  TempDir files;
  LoadOutcome loaded = LoadOutcome::ReadFailed;
};

TEST_F(ImageLoaderTest, ExtensionMustBeExactlyOut) {
  EXPECT_EQ(Choose(files.Write("dsp.out", {1})), SelectOutcome::Opened);
  EXPECT_EQ(Choose(files.Write("a.b.out", {1})), SelectOutcome::Opened);
  EXPECT_TRUE(host.messages.empty());
  for (const char* name : {"dsp.OUT", "dsp.Out", "dsp", "dsp.", "dsp.out.bak", "out"}) {
    SCOPED_TRACE(name);
    host.messages.clear();
    EXPECT_EQ(Choose(files.Write(name, {1})), SelectOutcome::Refused);
    EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_FILE_ERROR)});
  }
  // Only the file's own name counts, not a dot in its folder.
  std::filesystem::create_directory(files.Path() + "/x.out");
  EXPECT_EQ(Choose(files.Write("x.out/dsp", {1})), SelectOutcome::Refused);
}

TEST_F(ImageLoaderTest, CancelAndMissingFile) {
  EXPECT_EQ(Choose(""), SelectOutcome::Cancelled);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(Choose(files.Path() + "/missing.out"), SelectOutcome::OpenFailed);
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(MSG_FILE_OPEN_ERROR)});
}

TEST_F(ImageLoaderTest, BytesArriveUntranslatedAndInPlace) {
  const Bytes content = {0x00, 0x0D, 0x0A, 0x1A, 0xFF, 0x0D, 0x0A, 0x00, 0x1A};
  ASSERT_EQ(Choose(files.Write("dsp.out", content)), SelectOutcome::Opened);
  EXPECT_EQ(loaded, LoadOutcome::Loaded);
  ASSERT_EQ(linkState.imageLength, content.size());
  EXPECT_EQ(Bytes(linkState.imageBuffer, linkState.imageBuffer + content.size()), content);

  ASSERT_EQ(Choose(files.Write("three.out", {7, 8, 9})), SelectOutcome::Opened);
  EXPECT_EQ(linkState.imageLength, 3u);
}

TEST_F(ImageLoaderTest, SizeLimits) {
  Bytes full(IMAGE_CAPACITY);
  for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<std::uint8_t>(i * 31 + 5);
  ASSERT_EQ(Choose(files.Write("full.out", full)), SelectOutcome::Opened);
  EXPECT_EQ(loaded, LoadOutcome::Loaded);
  EXPECT_EQ(linkState.imageLength, IMAGE_CAPACITY);
  EXPECT_TRUE(std::equal(full.begin(), full.end(), linkState.imageBuffer));

  full.push_back(0x99);
  EXPECT_EQ(Choose(files.Write("over.out", full)), SelectOutcome::Refused);
  EXPECT_EQ(Choose(files.Write("empty.out", {})), SelectOutcome::Refused);
  EXPECT_EQ(host.messages, (std::vector<std::string>{std::string(MSG_FILE_SIZE_ERROR),
                                                     std::string(MSG_FILE_SIZE_ERROR)}));
}

TEST_F(ImageLoaderTest, FileThatGrowsAfterTheCheckIsNeverStoredPastTheBuffer) {
  Bytes full(IMAGE_CAPACITY, 0x5A);
  host.chosenPath = files.Write("grow.out", full);
  ImageSelection selection = SelectImageFile(host);
  ASSERT_EQ(selection.outcome, SelectOutcome::Opened);
  full.push_back(0x01);
  files.Write("grow.out", full);  // rewritten in place, one byte longer
  EXPECT_EQ(LoadImage(selection.stream), LoadOutcome::SizeChanged);
  EXPECT_EQ(linkState.imageLength, IMAGE_CAPACITY);
  EXPECT_FALSE(selection.stream.IsOpen());
}

TEST_F(ImageLoaderTest, FolderNamedLikeAnImageIsNotLoaded) {
  std::filesystem::create_directory(files.Path() + "/dir.out");
  const SelectOutcome outcome = Choose(files.Path() + "/dir.out");
  EXPECT_NE(outcome, SelectOutcome::Opened);
  EXPECT_EQ(host.messages.size(), 1u);
}

}  // namespace
}  // namespace vannor::test
