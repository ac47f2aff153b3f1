// One run at a time in a game folder, on the real disk. The lock is taken
// here through a second handle of the file system, as another installer
// would hold it: a run that finds it held changes nothing, and one that
// finds it free runs and leaves no lock file behind.
#include <filesystem>
#include <map>

#include "engine/run_installation.h"
#include "installation_test.h"

namespace engine::test {
namespace {

namespace fs = std::filesystem;

class FolderLockTest : public InstallationTest {
 protected:
  FolderLockTest() {
    folder.Write("sv.exe", "MZ game");
    folder.Write("curver.txt", "5\r\nonline");
    patch.version = 6;
    patch.loose_files = {Entry("sv.exe", "MZ new"), Entry("data\\maps\\new.map", "map")};
    patch.deletions = {"curver.txt.old"};
  }

  PatchDescription patch;
};

TEST_F(FolderLockTest, ARunThatFindsTheFolderLockedChangesNothing) {
  std::unique_ptr<FolderLock> other_run = NativeFileSystem().LockGameFolder("updrun.lock");
  ASSERT_NE(other_run, nullptr);
  const std::map<std::string, std::string> before = folder.Files();

  Run(patch);

  EXPECT_EQ(host.Errors(), std::vector<std::string>{kUnknownError});
  EXPECT_EQ(folder.Files(), before);
  EXPECT_EQ(folder.Directories(), std::vector<std::string>{});
  // The lock of the other run is still whole.
  EXPECT_EQ(NativeFileSystem().LockGameFolder("updrun.lock"), nullptr);
}

TEST_F(FolderLockTest, ARunTakesTheLockAndLeavesNoLockFile) {
  {
    std::unique_ptr<FolderLock> earlier_run = NativeFileSystem().LockGameFolder("updrun.lock");
    ASSERT_NE(earlier_run, nullptr);
    EXPECT_TRUE(fs::exists("updrun.lock"));
  }
  EXPECT_FALSE(fs::exists("updrun.lock"));

  Run(patch);

  EXPECT_EQ(host.Errors(), std::vector<std::string>{});
  EXPECT_EQ(folder.Files(), (std::map<std::string, std::string>{{"curver.txt", "6\r\nonline"},
                                                                {"data/maps/new.map", "map"},
                                                                {"sv.exe", "MZ new"}}));
}

TEST_F(FolderLockTest, ALockFileLeftByAKilledRunDoesNotKeepTheNextOneOut) {
  folder.Write("updrun.lock", "");
  Run(patch);
  EXPECT_EQ(host.Errors(), std::vector<std::string>{});
  EXPECT_EQ(folder.Read("sv.exe"), "MZ new");
  EXPECT_FALSE(fs::exists("updrun.lock"));
}

TEST_F(FolderLockTest, AFolderAtTheLockNameIsRefused) {
  fs::create_directory("updrun.lock");
  Run(patch);
  EXPECT_EQ(host.Errors(), std::vector<std::string>{kUnknownError});
  EXPECT_EQ(folder.Read("sv.exe"), "MZ game");
  EXPECT_TRUE(fs::is_directory("updrun.lock"));
}

}  // namespace
}  // namespace engine::test
