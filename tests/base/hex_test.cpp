#include "base/hex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace base {
namespace {

TEST(HexTest, IsTwoLowerCaseDigitsAByte) {
  EXPECT_EQ(LowerHex(std::vector<std::uint8_t>{0x00, 0x0f, 0xa0, 0xff}), "000fa0ff");
  EXPECT_EQ(LowerHex(std::vector<std::uint8_t>{}), "");
}

}  // namespace
}  // namespace base
