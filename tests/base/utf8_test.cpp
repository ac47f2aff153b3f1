#include "base/utf8.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(ToUtf8, EncodesEveryLengthOfSequence) {
  EXPECT_EQ(ToUtf8(u"Close"), "Close");
  EXPECT_EQ(ToUtf8(u"\u00E9\u0416"), "\xC3\xA9\xD0\x96");
  EXPECT_EQ(ToUtf8(u"\u20AC\uFFFF"), "\xE2\x82\xAC\xEF\xBF\xBF");
  EXPECT_EQ(ToUtf8(u"\U0001F4E6\U0010FFFF"), "\xF0\x9F\x93\xA6\xF4\x8F\xBF\xBF");
}

TEST(ToUtf8, NullIsEmpty) {
  EXPECT_EQ(ToUtf8(nullptr), "");
  EXPECT_EQ(ToUtf8(u""), "");
}

TEST(ToUtf8, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  const char16_t high_at_end[] = {u'a', 0xD83D, 0};
  const char16_t high_then_letter[] = {0xD83D, u'b', 0};
  const char16_t low_alone[] = {0xDCA6, u'c', 0};
  const char16_t two_highs_then_low[] = {0xD83D, 0xD83D, 0xDCE6, 0};
  EXPECT_EQ(ToUtf8(high_at_end), "a" + replacement);
  EXPECT_EQ(ToUtf8(high_then_letter), replacement + "b");
  EXPECT_EQ(ToUtf8(low_alone), replacement + "c");
  EXPECT_EQ(ToUtf8(two_highs_then_low), replacement + "\xF0\x9F\x93\xA6");
}

}  // namespace
}  // namespace base
