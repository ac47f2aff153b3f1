// Streams that name paths outside the game folder: a root, a drive, a `..`
// part. The installer runs with administrator rights, so such a stream must
// change nothing outside the folder, and, refused before the commit, nothing
// inside it either. Run over the in-memory file system, which records every
// changing call that leaves the folder.
#include <map>

#include "engine/run_installation.h"
#include "fs/memory_file_system.h"
#include "installation_test.h"
#include "tests/support/files.h"

namespace engine::test {
namespace {

using payload::BuildPatchStream;
using payload::BuildPayload;

class GameFolderBoundsTest : public InstallationTest {
 protected:
  GameFolderBoundsTest() {
    game.AddFile("sv.exe", "MZ game");
    game.AddFile("data/game.ini", "[game]\r\n");
    game.AddFile("data/maps/a.bin", "map");
    game.AddFile("curver.txt", "5\r\nonline");
    before = game.files;
  }

  void RunOver(const Bytes& stream) { Run(BuildPayload(stream), game); }

  MemoryFileSystem game;
  std::map<std::string, std::string> before;
};

class OutsideTargetTest : public GameFolderBoundsTest,
                          public ::testing::WithParamInterface<std::string> {};

TEST_P(OutsideTargetTest, LooseFileIsRefusedBeforeAnythingIsWritten) {
  PatchDescription patch;
  patch.version = 6;
  patch.loose_files = {Entry("sv.exe", "MZ new"), Entry(GetParam(), "escaped")};
  RunOver(BuildPatchStream(patch));

  EXPECT_EQ(host.Errors(), std::vector<std::string>{kUnknownError});
  EXPECT_EQ(game.outside_paths, std::vector<std::string>{});
  EXPECT_EQ(game.files, before);
}

TEST_P(OutsideTargetTest, ArchiveIsRefusedBeforeAnythingIsWritten) {
  PatchDescription patch;
  patch.version = 6;
  patch.archives = {{GetParam() + ".zip", {Entry("a.txt", "escaped")}, {}}};
  RunOver(BuildPatchStream(patch));

  EXPECT_EQ(host.Errors(), std::vector<std::string>{kUnknownError});
  EXPECT_EQ(game.outside_paths, std::vector<std::string>{});
  EXPECT_EQ(game.files, before);
}

// Like every name in the stream, a deletion path is checked before anything
// is staged: a stream that names one outside was built wrong.
TEST_P(OutsideTargetTest, DeletionIsRefusedBeforeAnythingIsWritten) {
  PatchDescription patch;
  patch.version = 6;
  patch.loose_files = {Entry("sv.exe", "MZ new")};
  patch.deletions = {"data\\maps\\a.bin", GetParam()};
  RunOver(BuildPatchStream(patch));

  EXPECT_EQ(host.Errors(), std::vector<std::string>{kUnknownError});
  EXPECT_EQ(game.outside_paths, std::vector<std::string>{});
  EXPECT_EQ(game.files, before);
}

INSTANTIATE_TEST_SUITE_P(Paths, OutsideTargetTest,
                         ::testing::Values("\\root.txt", "/root.txt", "..\\up.txt", "../up.txt",
                                           "data\\..\\..\\up.txt", "data\\..", "C:\\drive.txt",
                                           "c:relative.txt", "sv.exe:stream"));

TEST_F(GameFolderBoundsTest, PathsThatStayInsideAreTaken) {
  PatchDescription patch;
  patch.version = 6;
  patch.loose_files = {Entry("data\\..name", "dots"), Entry("data\\x.txt", "x")};
  RunOver(BuildPatchStream(patch));

  EXPECT_EQ(host.Errors(), std::vector<std::string>{});
  EXPECT_EQ(game.files.at("data/..name"), "dots");
  EXPECT_EQ(game.files.at("data/x.txt"), "x");
}

// The input with which the run's fuzz target found the fault: its first two
// bytes script the host, the rest is the stream, whose third loose file is
// "\textures.zi@", at the root of the drive, and runs past the end.
TEST_F(GameFolderBoundsTest, FuzzInputNamingTheRootChangesNothingOutside) {
  const Bytes input =
      test_support::ReadBytes(PI_SOURCE_DIR "/tests/engine/fuzz_inputs/run_root_path.bin");
  RunOver(Bytes(input.begin() + 2, input.end()));

  EXPECT_EQ(game.outside_paths, std::vector<std::string>{});
  EXPECT_EQ(host.Errors(), std::vector<std::string>{kUnknownError});
  EXPECT_EQ(game.files, before);
}

}  // namespace
}  // namespace engine::test
