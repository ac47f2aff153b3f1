// Ctrl+C (or a termination request) while the patch is being staged: the run
// stops at its next check point, removes what it staged, and leaves every
// game file as it was.
#include "tests/shell/installer_fixture.h"

namespace installer_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Enough loose files that staging them takes far longer than the moment
// between the status line and the signal, so the signal lands mid-staging.
constexpr int kLooseFiles = 6000;

payload::PatchDescription LargePatch() {
  payload::PatchDescription patch = InstallerTest::SamplePatch(14);
  for (int i = 0; i < kLooseFiles; ++i) {
    const std::string name = "data\\bulk\\part" + std::to_string(i) + ".dat";
    patch.loose_files.push_back({name, Bytes(2048, static_cast<std::uint8_t>(i))});
  }
  return patch;
}

std::vector<fs::path> StagedFiles(const fs::path& folder) {
  std::vector<fs::path> staged;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().extension() == ".updtmp") staged.push_back(entry.path());
  }
  return staged;
}

class InstallerCancelTest : public InstallerTest {};

TEST_F(InstallerCancelTest, CtrlCDuringStagingLeavesTheGameAsItWas) {
  MakeGameFolder(game_);
  const auto before = Snapshot(game_);
  const fs::path installer = MakeInstaller(LargePatch());

  // Pressed twice: the second press changes nothing.
  const RunResult run = RunInstaller(
      installer, {.directory = game_, .interrupt_when = "Please wait...\n", .interrupts = 2});

  EXPECT_TRUE(run.interrupted);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.err, "");
  EXPECT_THAT(run.out, Not(HasSubstr("Update installed successfully!")));
  EXPECT_EQ(Snapshot(game_), before);
  EXPECT_EQ(StagedFiles(game_), std::vector<fs::path>{});
}

TEST_F(InstallerCancelTest, TerminationIsACancelToo) {
  MakeGameFolder(game_);
  const auto before = Snapshot(game_);
  const RunResult run =
      RunInstaller(MakeInstaller(LargePatch()),
                   {.directory = game_, .interrupt_when = "Please wait...\n", .signal = SIGTERM});

  EXPECT_TRUE(run.interrupted);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(Snapshot(game_), before);
  EXPECT_EQ(StagedFiles(game_), std::vector<fs::path>{});
}

}  // namespace
}  // namespace installer_test
