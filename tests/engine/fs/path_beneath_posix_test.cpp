// Symbolic links planted in a real game folder, at each depth of the paths a
// patch names, each pointing into a sentinel folder beside the game. Whole
// runs over the real file system: nothing in the sentinel may change, and
// the run either fails before any game file changes or, where the link is
// the target itself, replaces the link and not what it points to.
#include <filesystem>
#include <map>

#include "engine/run_installation.h"
#include "installation_test.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"
#include "zip_contents.h"

namespace engine::test {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

class LinkOnPathTest : public InstallationTest {
 protected:
  LinkOnPathTest() {
    folder.Write("sv.exe", "MZ game");
    folder.Write("curver.txt", "5\r\nonline");
    folder.Write("data/game.ini", "[game]\r\n");
    test_support::WriteText(sentinel / "a.bin", "outside");
    test_support::WriteText(sentinel / "keep.txt", "outside too");
    WriteZip((sentinel / "pack.zip").string(), {{"a.txt", "outside entry"}});
  }

  // Puts a link at `path` in the game folder that points to the sentinel,
  // or to `target` inside it; then records both folders.
  void PlantLink(const std::string& path, const std::string& target = "") {
    const fs::path to = target.empty() ? sentinel.path() : sentinel / target;
    if (target.empty()) {
      fs::create_directory_symlink(to, path);
    } else {
      fs::create_symlink(to, path);
    }
    game_before = folder.Files();
    sentinel_before = test_support::Snapshot(sentinel.path());
  }

  void ExpectSentinelUntouched() {
    EXPECT_EQ(test_support::Snapshot(sentinel.path()), sentinel_before);
    EXPECT_EQ(ReadZip((sentinel / "pack.zip").string()), (ZipEntries{{"a.txt", "outside entry"}}));
  }

  void ExpectFailedUnchanged(const std::string& error) {
    EXPECT_EQ(host.Errors(), std::vector<std::string>{error});
    EXPECT_EQ(folder.Files(), game_before);
    ExpectSentinelUntouched();
  }

  static PatchDescription Patch() {
    PatchDescription patch;
    patch.version = 6;
    patch.loose_files = {Entry("sv.exe", "MZ new")};
    return patch;
  }

  test_support::TempDir sentinel{"sentinel"};
  Files game_before;
  Files sentinel_before;
};

TEST_F(LinkOnPathTest, ATopFolderThatIsALinkIsNotWrittenThrough) {
  PlantLink("maps");
  PatchDescription patch = Patch();
  patch.loose_files.push_back(Entry("maps\\a.bin", "new"));
  Run(patch);
  ExpectFailedUnchanged(kWriteError);
}

TEST_F(LinkOnPathTest, ANestedFolderThatIsALinkIsNotWrittenThrough) {
  PlantLink("data/sub");
  PatchDescription patch = Patch();
  patch.loose_files.push_back(Entry("DATA\\Sub\\a.bin", "new"));
  Run(patch);
  ExpectFailedUnchanged(kWriteError);
}

TEST_F(LinkOnPathTest, ALinkWhereThePatchMakesANewFolderIsNotFollowed) {
  PlantLink("data/newdir");
  PatchDescription patch = Patch();
  patch.loose_files.push_back(Entry("data\\newdir\\deeper\\b.bin", "new"));
  Run(patch);
  ExpectFailedUnchanged(kWriteError);
  EXPECT_FALSE(fs::exists(sentinel / "deeper"));
}

TEST_F(LinkOnPathTest, AnArchiveInALinkedFolderIsNeitherReadNorRewritten) {
  PlantLink("data/sub");
  PatchDescription patch = Patch();
  patch.archives = {{"data\\sub\\pack.zip", {Entry("a.txt", "new entry")}, {}}};
  Run(patch);
  ExpectFailedUnchanged(kUnknownError);
}

TEST_F(LinkOnPathTest, ATargetThatIsItselfALinkIsReplacedNotWrittenThrough) {
  fs::remove("data/game.ini");
  PlantLink("data/game.ini", "a.bin");
  PatchDescription patch = Patch();
  patch.loose_files.push_back(Entry("data\\game.ini", "[game]\r\nnew\r\n"));
  Run(patch);
  EXPECT_EQ(host.Errors(), std::vector<std::string>{});
  EXPECT_FALSE(fs::is_symlink("data/game.ini"));
  EXPECT_EQ(folder.Read("data/game.ini"), "[game]\r\nnew\r\n");
  ExpectSentinelUntouched();
}

TEST_F(LinkOnPathTest, DeletionsGoThroughNoLinkAndRemoveALinkItself) {
  PlantLink("old");
  fs::create_symlink(sentinel / "a.bin", "gone.txt");
  game_before = folder.Files();
  PatchDescription patch = Patch();
  patch.deletions = {"old\\keep.txt", "gone.txt"};
  Run(patch);
  EXPECT_EQ(host.Errors(), std::vector<std::string>{});
  EXPECT_EQ(folder.Read("sv.exe"), "MZ new");
  EXPECT_TRUE(fs::is_symlink("old"));
  EXPECT_FALSE(fs::exists(fs::symlink_status("gone.txt")));
  ExpectSentinelUntouched();
}

TEST_F(LinkOnPathTest, ALinkInPlaceOfTheRunLockStopsTheRunBeforeItChangesAnything) {
  PlantLink("updrun.lock", "keep.txt");
  Run(Patch());
  ExpectFailedUnchanged(kUnknownError);
  EXPECT_TRUE(fs::is_symlink("updrun.lock"));
}

TEST_F(LinkOnPathTest, TheDiskLayerRefusesEveryCallThroughALinkedFolder) {
  PlantLink("maps");
  FileSystem& file_system = NativeFileSystem();
  EXPECT_EQ(file_system.OpenForWriting("maps\\x.bin"), nullptr);
  EXPECT_EQ(file_system.ReadWholeFile("maps\\a.bin"), std::nullopt);
  EXPECT_FALSE(file_system.Exists("maps\\a.bin"));
  EXPECT_EQ(file_system.FileSize("maps\\a.bin"), std::nullopt);
  EXPECT_EQ(file_system.ProbeTarget("maps\\a.bin"), TargetState::kBlocked);
  EXPECT_FALSE(file_system.FlushToDisk("maps\\a.bin"));
  EXPECT_FALSE(file_system.MakeDirectory("maps\\new"));
  EXPECT_FALSE(file_system.RemoveFile("maps\\keep.txt"));
  EXPECT_FALSE(file_system.LinkFile("maps\\a.bin", "stolen.bin"));
  EXPECT_FALSE(file_system.LinkFile("sv.exe", "maps\\planted.bin"));
  EXPECT_FALSE(file_system.RenameReplacing("maps\\a.bin", "stolen.bin"));
  EXPECT_FALSE(file_system.RenameReplacing("sv.exe", "maps\\a.bin"));
  zlib_filefunc64_def functions = file_system.ZipFileFunctions();
  EXPECT_EQ(functions.zopen64_file(functions.opaque, "maps\\pack.zip",
                                   ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING),
            nullptr);
  EXPECT_EQ(functions.zopen64_file(functions.opaque, "maps\\new.zip",
                                   ZLIB_FILEFUNC_MODE_WRITE | ZLIB_FILEFUNC_MODE_CREATE),
            nullptr);
  EXPECT_EQ(folder.Files(), game_before);
  ExpectSentinelUntouched();
}

TEST_F(LinkOnPathTest, PathsThatClimbOutOrStartAtARootReachNothing) {
  game_before = folder.Files();
  sentinel_before = test_support::Snapshot(sentinel.path());
  FileSystem& file_system = NativeFileSystem();
  const std::string outside = (sentinel / "keep.txt").string();
  EXPECT_EQ(file_system.ReadWholeFile(outside), std::nullopt);
  EXPECT_FALSE(file_system.RemoveFile(outside));
  EXPECT_FALSE(file_system.RemoveFile("data\\..\\..\\" + sentinel.path().filename().string() +
                                      "\\keep.txt"));
  EXPECT_EQ(file_system.OpenForWriting("..\\escaped.txt"), nullptr);
  EXPECT_EQ(folder.Files(), game_before);
  ExpectSentinelUntouched();
}

}  // namespace
}  // namespace engine::test
