#include "base/progress_bar_text.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(ProgressBarTextTest, FillsTheShareDoneAndRightAlignsThePercentage) {
  EXPECT_EQ(ProgressBarText(0, 200, '.', 10), "[..........]   0%");
  EXPECT_EQ(ProgressBarText(59, 200, ' ', 10), "[##        ]  29%");
  EXPECT_EQ(ProgressBarText(200, 200, '.', 10), "[##########] 100%");
  EXPECT_EQ(ProgressBarText(1, 3, '.'), "[##########....................]  33%");
}

TEST(ProgressBarTextTest, NothingToDoOrMoreThanAnnouncedIsAFullBar) {
  EXPECT_EQ(ProgressBarText(0, 0, '.', 4), "[####] 100%");
  EXPECT_EQ(ProgressBarText(7, 5, '.', 4), "[####] 100%");
}

TEST(ProgressBarTextTest, ThePercentageAloneTakesFourColumns) {
  EXPECT_EQ(PercentText(0, 7), "  0%");
  EXPECT_EQ(PercentText(1, 7), " 14%");
  EXPECT_EQ(PercentText(7, 7), "100%");
}

}  // namespace
}  // namespace base
