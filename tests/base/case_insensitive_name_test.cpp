#include "base/case_insensitive_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace base {
namespace {

std::optional<std::string> Choose(std::string_view wanted,
                                  const std::vector<std::string>& entries) {
  CaseInsensitiveChoice choice(wanted);
  for (const std::string& entry : entries) choice.Offer(entry);
  return choice.chosen();
}

TEST(CaseInsensitiveChoiceTest, NothingIsChosenWhenNoEntryMatches) {
  EXPECT_EQ(Choose("Data", {"data2", "dat", "."}), std::nullopt);
  EXPECT_EQ(Choose("Data", {}), std::nullopt);
}

TEST(CaseInsensitiveChoiceTest, TheOnlyMatchIsChosenWhateverItsCase) {
  EXPECT_EQ(Choose("data\\x", {"other", "DATA\\X", "data"}), "DATA\\X");
}

TEST(CaseInsensitiveChoiceTest, OfSeveralMatchesTheSmallestInByteOrderWinsInAnyListingOrder) {
  // Upper-case letters sort before lower-case ones in byte order.
  const std::vector<std::string> orders[] = {
      {"maps", "MAPS", "Maps"}, {"MAPS", "maps", "Maps"}, {"Maps", "maps", "MAPS"}};
  for (const auto& entries : orders) EXPECT_EQ(Choose("mAPs", entries), "MAPS");
}

TEST(CaseInsensitiveChoiceTest, AnEntrySpeltExactlyAsWantedWinsOverSmallerOnes) {
  EXPECT_EQ(Choose("maps", {"MAPS", "maps", "Maps"}), "maps");
  EXPECT_EQ(Choose("maps", {"maps", "MAPS", "Maps"}), "maps");
  EXPECT_EQ(Choose("Maps", {"Maps", "MAPS", "maps"}), "Maps");
}

TEST(CaseInsensitiveChoiceTest, OnlyAsciiLettersAreFolded) {
  EXPECT_EQ(Choose("\xC4x", {"\xE4x", "\xE4X"}), std::nullopt);
}

}  // namespace
}  // namespace base
