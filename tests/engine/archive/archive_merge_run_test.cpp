// Whole installation runs that carry archive records, over archives made by
// Python's zipfile and 7-Zip: the committed archives pass the real tools, and
// a failing archive leaves every game file, earlier archives included, as it
// was.
#include <filesystem>
#include <string>

#include "archive_merge_support.h"

namespace engine::test {
namespace {

using payload::ArchiveRecord;

class ArchiveRunTest : public InstallationTest {
 protected:
  // Two archives in data/, one from zipfile and one from 7-Zip, and a loose
  // file; the patch names them with backslashes and other letter case.
  static void InstallGame(const GameFolder& game) {
    game.Write("game.exe", "old game");
    game.Write("src/Maps/Level.MAP", std::string(5000, 'm'));
    game.Write("src/Readme.TXT", "read me");
    std::filesystem::create_directory("data");
    ASSERT_TRUE(Succeeded(RunCommand(ZipTool() + "python-variety data/python.zip")));
    ASSERT_TRUE(
        Succeeded(RunCommand("cd src && 7z a -tzip ../data/seven.zip Maps Readme.TXT >/dev/null")));
  }

  ArchiveRecord PythonRecord() const {
    return {"DATA\\python.zip",
            {Entry("replace.me", "patched"), Entry("added.txt", "added")},
            {"drop.me"}};
  }
  ArchiveRecord SevenRecord() const {
    return {"Data\\seven.zip", {Entry("maps/level.map", "new level")}, {"readme.txt"}};
  }

  PatchDescription Patch(const std::vector<ArchiveRecord>& archives) const {
    PatchDescription patch;
    patch.version = 14;
    patch.loose_files = {Entry("game.exe", "new game")};
    patch.archives = archives;
    return patch;
  }
};

TEST_F(ArchiveRunTest, CommittedArchivesPassTheToolsWithEveryEntryInPlace) {
  ASSERT_NO_FATAL_FAILURE(InstallGame(folder));
  const DumpedArchive old_python = DumpArchive("data/python.zip");
  const DumpedArchive old_seven = DumpArchive("data/seven.zip");
  Run(Patch({PythonRecord(), SevenRecord()}));

  // One check per loose file, per new entry and per old entry.
  const int checks = 1 + 2 + static_cast<int>(old_python.entries.size()) + 1 +
                     static_cast<int>(old_seven.entries.size());
  EXPECT_EQ(host.calls, SucceededCalls(checks));
  EXPECT_TRUE(folder.StagedLeftovers().empty());
  EXPECT_EQ(folder.Read("game.exe"), "new game");
  for (const auto& [path, old_archive, record] :
       {std::tuple{"data/python.zip", old_python, PythonRecord()},
        std::tuple{"data/seven.zip", old_seven, SevenRecord()}}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(AcceptedByTools(path));
    ExpectMergedFrom(old_archive, DumpArchive(path), record);
  }
}

TEST_F(ArchiveRunTest, AFailingSecondArchiveLeavesTheGameAsItWas) {
  struct Case {
    const char* name;
    std::string make_second;
    std::string shown;
  };
  const Case cases[] = {
      {"missing", "rm data/seven.zip", kUnknownError},
      {"truncated", "truncate -s 100 data/seven.zip", kUnknownError},
      {"bzip2 entry", ZipTool() + "method bzip2 data/seven.zip", kWriteError},
      {"staged name taken by a folder", "mkdir data/seven.zip.updtmp", kWriteError},
  };
  for (const Case& failure : cases) {
    SCOPED_TRACE(failure.name);
    GameFolder game;  // a fresh game folder for each case
    ASSERT_NO_FATAL_FAILURE(InstallGame(game));
    ASSERT_TRUE(Succeeded(RunCommand(failure.make_second)));
    const auto before = game.Files();
    host = ScriptedHost();
    Run(Patch({PythonRecord(), SevenRecord()}));

    EXPECT_EQ(host.Errors(), std::vector<std::string>{failure.shown});
    EXPECT_EQ(host.calls.back(), "CloseDialog");
    EXPECT_EQ(game.Files(), before);
  }
}

}  // namespace
}  // namespace engine::test
