// The progress line's text: bar, percent, bytes, rate and time left.
#include <gtest/gtest.h>

#include "cli/progress_view.h"

namespace vannor::cli {
namespace {

TEST(ProgressLineTest, ShowsBarPercentBytesRateAndTimeLeft) {
  using std::chrono::seconds;
  EXPECT_EQ(ProgressView::Line("COM1", 0, 200000, seconds(0)),
            "COM1 [------------------------]   0% 0/200000 bytes");
  EXPECT_EQ(ProgressView::Line("COM1", 50000, 200000, seconds(25)),
            "COM1 [######------------------]  25% 50000/200000 bytes 2000 B/s 1:15 left");
  EXPECT_EQ(ProgressView::Line("COM10", 3, 3, seconds(1)),
            "COM10 [########################] 100% 3/3 bytes");
  EXPECT_EQ(ProgressView::Line("COM2", 1, 1, seconds(1)),
            "COM2 [########################] 100% 1/1 byte");
}

}  // namespace
}  // namespace vannor::cli
