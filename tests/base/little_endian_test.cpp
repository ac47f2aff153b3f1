#include "base/little_endian.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace base {
namespace {

const std::vector<std::uint8_t> kBytes = {0x01, 0x02, 0x03, 0x04, 0xFF};

TEST(LittleEndianTest, LoadsAFieldInsideTheBytesLeastSignificantFirst) {
  EXPECT_EQ(LoadLittleEndianAt(kBytes, 0, 4), 0x04030201u);
  EXPECT_EQ(LoadLittleEndianAt(kBytes, 3, 2), 0xFF04u);
  EXPECT_EQ(LoadLittleEndianAt(kBytes, 5, 0), 0u);
}

TEST(LittleEndianTest, RefusesAFieldThatRunsPastTheEnd) {
  EXPECT_EQ(LoadLittleEndianAt(kBytes, 2, 4), std::nullopt);
  EXPECT_EQ(LoadLittleEndianAt(kBytes, 6, 0), std::nullopt);
  // An offset so large that offset + size wraps around must not pass.
  EXPECT_EQ(LoadLittleEndianAt(kBytes, std::numeric_limits<std::uint64_t>::max(), 2), std::nullopt);
  EXPECT_EQ(BytesWithin(kBytes, 1, std::numeric_limits<std::uint64_t>::max()), std::nullopt);
}

TEST(LittleEndianTest, GivesTheBytesWithinAndStoresWhatItLoads) {
  const auto inner = BytesWithin(kBytes, 1, 3);
  ASSERT_TRUE(inner);
  EXPECT_EQ(std::vector<std::uint8_t>(inner->begin(), inner->end()),
            (std::vector<std::uint8_t>{0x02, 0x03, 0x04}));
  std::vector<std::uint8_t> out(3);
  StoreLittleEndian(out, 0xABCDEF);
  EXPECT_EQ(LoadLittleEndianAt(out, 0, 3), 0xABCDEFu);
}

}  // namespace
}  // namespace base
