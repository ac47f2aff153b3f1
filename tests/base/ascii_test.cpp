#include "base/ascii.h"

#include <gtest/gtest.h>

#include <string>

namespace base {
namespace {

TEST(AsciiTest, LowerCasesAsciiLettersOnly) {
  std::string name = "Data\\MAPS/Z_a@[`{\xC4\xE9.TXT";
  name = ToLowerAscii(name);
  EXPECT_EQ(name, "data\\maps/z_a@[`{\xC4\xE9.txt");
}

TEST(AsciiTest, ComparesIgnoringTheCaseOfAsciiLettersOnly) {
  EXPECT_TRUE(EqualIgnoringAsciiCase("Data\\SV.exe", "data\\sv.EXE"));
  // A and a differ by 32, and so do the bytes C4 and E4 of a Latin code page;
  // only the letters A to Z are folded.
  EXPECT_FALSE(EqualIgnoringAsciiCase("\xC4", "\xE4"));
  EXPECT_FALSE(EqualIgnoringAsciiCase("@", "`"));
  EXPECT_FALSE(EqualIgnoringAsciiCase("ab", "abc"));
}

}  // namespace
}  // namespace base
