// Every box the user reads, byte for byte, blanks and exclamation marks included: a constant
// that changed would pass every test that compares with the constant itself.
#include <gtest/gtest.h>

#include <string_view>

#include "protocol/messages.h"

namespace vannor::test {
namespace {

TEST(MessageTexts, EveryBoxSaysExactlyItsWords) {
  const struct {
    std::string_view shown;
    std::string_view bytes;
  } rows[] = {
      {MSG_DSP_SELECT_ERROR, " DSP Select Error !!! "},
      {MSG_ONLY_ONCE, " Only once when starting up !!!  "},
      {MSG_COMMUNICATION_ERROR, " Communication Error !!! "},
      {MSG_COMPLETION, " Completion !!! "},
      {MSG_FILE_ERROR, " File Error !!! "},
      {MSG_FILE_OPEN_ERROR, " File Open Error !!! "},
      {MSG_FILE_SIZE_ERROR, " File Size Error !!! "},
      {MSG_NOT_USE_COM_PORT, " Not Use COM Port "},
      // "ＣＯＭポートは使えません" in UTF-8.
      {MSG_COM_PORT_UNUSABLE,
       "\xEF\xBC\xA3\xEF\xBC\xAF\xEF\xBC\xAD\xE3\x83\x9D\xE3\x83\xBC\xE3\x83\x88\xE3\x81\xAF"
       "\xE4\xBD\xBF\xE3\x81\x88\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.shown, row.bytes);
}

}  // namespace
}  // namespace vannor::test
