// Names in the patch stream that the run refuses before anything is staged:
// second spellings of one file, the installer's own names, names Windows
// would read as something else. Through a real game folder, which must be
// left exactly as it was, folders included.
#include "installation_test.h"

namespace engine::test {
namespace {

class StreamNamesTest : public InstallationTest {
 protected:
  StreamNamesTest() {
    folder.Write("sv.exe", "MZ old");
    folder.Write("data/config.cfg", "old config");
    folder.Write("curver.txt", "5\r\n");
  }

  void ExpectRefusedWithNothingChanged(const PatchDescription& patch) {
    const auto files = folder.Files();
    const auto directories = folder.Directories();
    Run(patch);
    EXPECT_EQ(host.Errors(), std::vector<std::string>{kUnknownError});
    EXPECT_EQ(folder.Files(), files);
    EXPECT_EQ(folder.Directories(), directories);
  }

  static PatchDescription WithLooseFiles(std::vector<payload::FileEntry> files) {
    PatchDescription patch;
    patch.version = 6;
    patch.loose_files = std::move(files);
    return patch;
  }
};

// Once a bug: both names were staged into one file, the second backup
// replaced the first, and the old config.cfg was lost.
TEST_F(StreamNamesTest, OneTargetSpeltTwoWaysIsRefusedAndTheOldFileKept) {
  for (const char* second : {"data\\\\config.cfg", ".\\data\\config.cfg", "DATA/Config.cfg"}) {
    SCOPED_TRACE(second);
    host = ScriptedHost();
    ExpectRefusedWithNothingChanged(
        WithLooseFiles({Entry("data\\config.cfg", "new config"), Entry("sv.exe", "MZ new"),
                        Entry(second, "other config")}));
  }
}

TEST_F(StreamNamesTest, LooseFileAndArchiveOfOneNameAreRefused) {
  PatchDescription patch = WithLooseFiles({Entry("data\\pack.zip", "not a zip")});
  patch.archives = {{"Data/Pack.zip", {Entry("a.txt", "a")}, {}}};
  ExpectRefusedWithNothingChanged(patch);
}

// Once a bug: the patch's own X.updbak was taken for the backup of X and
// deleted after the commit, or put in X's place by a recovery.
TEST_F(StreamNamesTest, TargetBesideItsBackupNameIsRefused) {
  ExpectRefusedWithNothingChanged(
      WithLooseFiles({Entry("sv.exe", "MZ new"), Entry("sv.exe.updbak", "MZ mine")}));
}

// Once a bug: a loose file named like the committed marker was installed,
// then deleted with the marker.
TEST_F(StreamNamesTest, LooseFileNamedLikeTheCommittedMarkerIsRefused) {
  ExpectRefusedWithNothingChanged(
      WithLooseFiles({Entry("sv.exe", "MZ new"), Entry("updcommit.done", "R\0")}));
}

TEST_F(StreamNamesTest, LeftoverBackupBesideATargetIsNeverRestoredOverIt) {
  folder.Write("sv.exe.updbak", "MZ planted");
  ExpectRefusedWithNothingChanged(WithLooseFiles({Entry("sv.exe", "MZ new")}));
}

class RefusedStreamNameTest : public StreamNamesTest,
                              public ::testing::WithParamInterface<std::string> {};

TEST_P(RefusedStreamNameTest, AsLooseFile) {
  ExpectRefusedWithNothingChanged(
      WithLooseFiles({Entry("sv.exe", "MZ new"), Entry(GetParam(), "content")}));
}

TEST_P(RefusedStreamNameTest, AsArchive) {
  PatchDescription patch = WithLooseFiles({Entry("sv.exe", "MZ new")});
  patch.archives = {{GetParam(), {Entry("a.txt", "a")}, {}}};
  ExpectRefusedWithNothingChanged(patch);
}

TEST_P(RefusedStreamNameTest, AsDeletion) {
  PatchDescription patch = WithLooseFiles({Entry("sv.exe", "MZ new")});
  patch.deletions = {"data\\config.cfg", GetParam()};
  ExpectRefusedWithNothingChanged(patch);
}

INSTANTIATE_TEST_SUITE_P(Names, RefusedStreamNameTest,
                         ::testing::Values("data\\\\config.cfg", ".\\sv.exe", "data\\.\\x.txt",
                                           "data\\", "sv.exe.", "sv.exe ", "x.updtmp",
                                           "data\\config.cfg.UPDBAK", "updcommit.lst",
                                           "updcommit.done", "updrun.lock", "data\\nul",
                                           "DATA~1\\config.cfg", "a|b"));

}  // namespace
}  // namespace engine::test
