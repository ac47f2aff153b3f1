#include "bundle/bundle_format.h"

#include <gtest/gtest.h>

#include <limits>

namespace bundle {
namespace {

TEST(BundleFooter, RoundTripsALayoutThatFillsTheFile) {
  const BundleLayout layout{.stub_size = 1000, .payload_size = 200, .messages_size = 34};
  const auto footer = EncodeFooter(layout);
  const auto decoded = DecodeFooter(footer, 1000 + 200 + 34 + kFooterSize);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->stub_size, 1000u);
  EXPECT_EQ(decoded->payload_offset(), 1000u);
  EXPECT_EQ(decoded->payload_size, 200u);
  EXPECT_EQ(decoded->messages_offset(), 1200u);
  EXPECT_EQ(decoded->messages_size, 34u);
}

TEST(BundleFooter, RefusesSizesThatDoNotAddUpToTheFile) {
  const auto footer = EncodeFooter({.stub_size = 1000, .payload_size = 200});
  EXPECT_FALSE(DecodeFooter(footer, 1000 + 200 + kFooterSize - 1));
  EXPECT_FALSE(DecodeFooter(footer, 1000 + 200 + kFooterSize + 1));
  // Sizes whose sum wraps around to the file size are no layout either.
  const auto max = std::numeric_limits<std::uint64_t>::max();
  const auto wrapping = EncodeFooter({.stub_size = max, .payload_size = 2 + kFooterSize});
  EXPECT_TRUE(HasFooterMagic(wrapping));
  EXPECT_FALSE(DecodeFooter(wrapping, 1));
}

TEST(BundleFooter, RefusesAnotherMagicOrVersion) {
  const std::uint64_t size = 10 + kFooterSize;
  auto footer = EncodeFooter({.stub_size = 10});
  ASSERT_TRUE(DecodeFooter(footer, size));
  footer[8] = 2;  // format version
  EXPECT_TRUE(HasFooterMagic(footer));
  EXPECT_FALSE(DecodeFooter(footer, size));
  footer = EncodeFooter({.stub_size = 10});
  footer[0] = 'X';
  EXPECT_FALSE(HasFooterMagic(footer));
  EXPECT_FALSE(DecodeFooter(footer, size));
}

}  // namespace
}  // namespace bundle
