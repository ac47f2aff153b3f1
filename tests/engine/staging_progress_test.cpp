// The staging progress a host is shown: over a whole run on the disk, and
// the counting of parts on its own.
#include "engine/staging_progress.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include "typical_game.h"

namespace engine::test {
namespace {

using payload::BuildPatchStream;
using payload::BuildPayload;
using Reports = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

// Never backwards, one total throughout, and the last report at the total.
void ExpectSteadyAndComplete(const Reports& reports, std::uint64_t total) {
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.front(), std::make_pair(std::uint64_t{0}, total)) << "total known at once";
  for (std::size_t i = 1; i < reports.size(); ++i) {
    EXPECT_EQ(reports[i].second, total) << "report " << i;
    EXPECT_GE(reports[i].first, reports[i - 1].first) << "report " << i;
  }
  EXPECT_EQ(reports.back().first, total);
}

using StagingProgressRunTest = TypicalGameTest;

TEST_F(StagingProgressRunTest, CountsLooseFilesTheOldArchiveAndItsNewEntries) {
  InstallGame();
  const std::uint64_t old_archive = std::filesystem::file_size("data/pack.zip");
  Run(BuildPayload(BuildPatchStream(TypicalPatch())));
  ASSERT_EQ(host.calls, SucceededCalls(kTypicalChecks));
  // "new a", "bee" and "" loose; "new e" and "new f" new in the archive.
  ExpectSteadyAndComplete(host.progress, 5 + 3 + 0 + old_archive + 5 + 5);
}

TEST_F(StagingProgressRunTest, LargeFilesAreReportedAsTheyAreStaged) {
  PatchDescription patch;
  patch.version = 3;
  const std::string big(3 << 19, 'x');  // 1.5 MiB
  patch.loose_files = {Entry("one.bin", big), Entry("two.bin", big), Entry("three.bin", big)};
  Run(patch);
  ASSERT_EQ(host.Errors(), std::vector<std::string>{});
  const std::uint64_t total = 3 * big.size();
  ExpectSteadyAndComplete(host.progress, total);
  // Each file passes the MiB that makes a report, before the part ends.
  EXPECT_NE(std::find(host.progress.begin(), host.progress.end(),
                      std::make_pair(std::uint64_t{big.size()}, total)),
            host.progress.end());
  EXPECT_NE(std::find(host.progress.begin(), host.progress.end(),
                      std::make_pair(std::uint64_t{2 * big.size()}, total)),
            host.progress.end());
}

TEST_F(StagingProgressRunTest, AFailedRunNeverReportsTheTotal) {
  host.cancel_at_check = 2;
  PatchDescription patch;
  patch.version = 3;
  patch.loose_files = {Entry("one.bin", "1"), Entry("two.bin", "22")};
  Run(patch);
  ASSERT_FALSE(host.progress.empty());
  EXPECT_EQ(host.progress.back(), std::make_pair(std::uint64_t{0}, std::uint64_t{3}));
}

TEST(StagingProgressTest, APartCountsUpToItsSizeAndEndsWhole) {
  ScriptedHost host;
  StagingProgress progress(host, {10, 5 << 20});
  progress.Advance(30);  // more than the part was thought to hold
  EXPECT_EQ(host.progress, (Reports{{0, 10 + (5 << 20)}})) << "small steps are not reported";
  progress.EndPart();
  progress.Advance(2 << 20);
  progress.Advance(16);
  progress.EndPart();
  progress.Advance(1 << 30);  // beyond the last part: nothing
  progress.EndPart();
  const std::uint64_t total = 10 + (5 << 20);
  EXPECT_EQ(host.progress,
            (Reports{{0, total}, {10, total}, {10 + (2 << 20), total}, {total, total}}));
  EXPECT_EQ(progress.total(), total);
}

TEST(StagingProgressTest, NoPartsShowsNothingToDo) {
  ScriptedHost host;
  StagingProgress progress(host, {});
  progress.Advance(5);
  progress.EndPart();
  EXPECT_EQ(host.progress, (Reports{{0, 0}}));
}

}  // namespace
}  // namespace engine::test
