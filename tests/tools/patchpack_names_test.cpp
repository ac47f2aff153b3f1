// Names that the player's Windows or the installer cannot take are refused
// where the patch is made: by build from a patch source and by diff from the
// new game folder, at the same limits, each refusal naming the file and the
// rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "patchpack_runner.h"
#include "tests/support/command.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

using patchpack_test::IsOneLineError;
using patchpack_test::RunPatchpack;
using test_support::CommandResult;
using test_support::Quoted;
using test_support::RunCommand;
using test_support::TempDir;
using test_support::WriteText;

struct BadName {
  std::string name;  // a path below the game folder, with '/'
  std::string rule;  // what the refusal says
};

const std::vector<BadName>& BadNames() {
  static const std::vector<BadName> names = {
      {"notes.txt ", "ends in a space"},
      {"data/notes.", "ends in a dot"},
      {"data./a.txt", "ends in a dot"},
      {"a:b.txt", "holds ':'"},
      {"a*b.txt", "holds '*'"},
      {"a?b.txt", "holds '?'"},
      {"a\"b.txt", "holds '\"'"},
      {"a<b.txt", "holds '<'"},
      {"a>b.txt", "holds '>'"},
      {"a|b.txt", "holds '|'"},
      {"tab\tname.txt", "holds the control character 0x09"},
      {"CON", "is a device on Windows"},
      {"data/con.txt", "is a device on Windows"},
      {"Nul.dat", "is a device on Windows"},
      {"prn", "is a device on Windows"},
      {"AUX.cfg", "is a device on Windows"},
      {"COM1", "is a device on Windows"},
      {"com9.log", "is a device on Windows"},
      {"LPT1.txt", "is a device on Windows"},
      {"lpt9", "is a device on Windows"},
      {"Lpt1/readme.txt", "is a device on Windows"},
      {"lpt0.txt", "is a device on Windows"},
      {"PROGRA~1/a.txt", "the installer refuses it"},
      {"data/a.bin.updbak", "the installer refuses it"},
      {"updcommit.done", "the installer refuses it"},
      {std::string(249, 'n'), "the installer stages it under a name 7 bytes longer"},
  };
  return names;
}

// Close to the rules, and fine on Windows.
const std::vector<std::string> kGoodNames = {"console.txt", "com10.txt",     "lpt10.txt",
                                             "com.txt",     "nul_x.txt",     "a b.txt",
                                             ".hidden",     "data/aux1.cfg", std::string(248, 'n')};

class PatchpackNames : public ::testing::Test {
 protected:
  CommandResult Build() {
    WriteText(dir / "source/version.txt", "2\n");
    return RunPatchpack("build " + Quoted(dir / "source") + " -o " + Quoted(dir / "p.bin"));
  }

  CommandResult Diff(const std::string& extra = "") {
    fs::remove_all(dir / "out");
    return RunPatchpack("diff " + Quoted(dir / "old") + " " + Quoted(dir / "new") + " -o " +
                        Quoted(dir / "out") + " --version 2" + extra);
  }

  // A zip with one entry of that name, written by Python's zipfile.
  void MakeZip(const fs::path& archive, const std::string& entry, const std::string& content) {
    fs::create_directories(archive.parent_path());
    CommandResult made = RunCommand(
        "python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], "
        "\"w\").writestr(sys.argv[2], "
        "sys.argv[3])' " +
        Quoted(archive) + " " + Quoted(entry) + " " + Quoted(content));
    ASSERT_EQ(made.exit_code, 0) << made.err;
  }

  TempDir dir;
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(PatchpackNames, BuildAndDiffRefuseTheSameNamesNamingFileAndRule) {
  WriteText(dir / "old/readme.txt", "same");
  for (const BadName& bad : BadNames()) {
    SCOPED_TRACE(bad.name);
    fs::remove_all(dir / "source");
    WriteText(dir / "source/files" / bad.name, "x");
    CommandResult built = Build();
    EXPECT_EQ(built.exit_code, 1);
    EXPECT_TRUE(IsOneLineError(built)) << built.err;
    EXPECT_TRUE(Contains(built.err, "files/" + bad.name)) << built.err;
    EXPECT_TRUE(Contains(built.err, bad.rule)) << built.err;
    EXPECT_FALSE(fs::exists(dir / "p.bin"));

    fs::remove_all(dir / "new");
    WriteText(dir / "new/readme.txt", "same");
    WriteText(dir / "new" / bad.name, "x");
    CommandResult diffed = Diff();
    EXPECT_EQ(diffed.exit_code, 1);
    EXPECT_TRUE(IsOneLineError(diffed)) << diffed.err;
    EXPECT_TRUE(Contains(diffed.err, "NEW file '" + bad.name + "'")) << diffed.err;
    EXPECT_TRUE(Contains(diffed.err, bad.rule)) << diffed.err;
    EXPECT_FALSE(fs::exists(dir / "out"));
  }
}

TEST_F(PatchpackNames, NamesCloseToTheRulesPass) {
  WriteText(dir / "old/readme.txt", "same");
  WriteText(dir / "new/readme.txt", "same");
  for (const std::string& name : kGoodNames) {
    WriteText(dir / "source/files" / name, "x");
    WriteText(dir / "new" / name, "x");
  }
  CommandResult built = Build();
  EXPECT_EQ(built.exit_code, 0) << built.err;
  CommandResult diffed = Diff();
  EXPECT_EQ(diffed.exit_code, 0) << diffed.err;
  EXPECT_TRUE(Contains(diffed.out, "9 loose files")) << diffed.out;
}

TEST_F(PatchpackNames, DeletionsOfNamesWindowsCannotHoldAreRefused) {
  WriteText(dir / "source/delete.txt", "data/AUX.txt\n");
  CommandResult built = Build();
  EXPECT_TRUE(IsOneLineError(built)) << built.err;
  EXPECT_TRUE(Contains(built.err, "delete.txt: 'data/AUX.txt'")) << built.err;
  EXPECT_TRUE(Contains(built.err, "is a device on Windows")) << built.err;

  WriteText(dir / "old/notes.txt ", "old notes");
  fs::create_directories(dir / "new");
  CommandResult diffed = Diff();
  EXPECT_TRUE(IsOneLineError(diffed)) << diffed.err;
  EXPECT_TRUE(Contains(diffed.err, "OLD file 'notes.txt ', which the patch would delete"))
      << diffed.err;
  EXPECT_TRUE(Contains(diffed.err, "ends in a space")) << diffed.err;
}

// The installer reads old entry names of at most 256 bytes: a longer new
// one would make every later patch of the archive fail on every machine.
TEST_F(PatchpackNames, EntryNamesEndAt256Bytes) {
  const std::string longest = std::string(200, 'a') + "/" + std::string(55, 'b');
  const std::string too_long = longest + "c";
  WriteText(dir / "source/archives/pak0.pk3" / longest, "fits");
  CommandResult fits = Build();
  EXPECT_EQ(fits.exit_code, 0) << fits.err;
  WriteText(dir / "source/archives/pak0.pk3" / too_long, "too long");
  CommandResult refused = Build();
  EXPECT_TRUE(IsOneLineError(refused)) << refused.err;
  EXPECT_TRUE(Contains(refused.err, "is 257 bytes; the installer reads entry names of at most 256"))
      << refused.err;

  MakeZip(dir / "old/pak0.pk3", "a.txt", "old");
  MakeZip(dir / "new/pak0.pk3", longest, "fits");
  CommandResult diff_fits = Diff();
  EXPECT_EQ(diff_fits.exit_code, 0) << diff_fits.err;
  EXPECT_TRUE(Contains(diff_fits.out, "by entry: pak0.pk3 (1 new entry, 1 dropped entry)"))
      << diff_fits.out;

  MakeZip(dir / "new/pak0.pk3", too_long, "too long");
  CommandResult diff_refused = Diff();
  EXPECT_TRUE(IsOneLineError(diff_refused)) << diff_refused.err;
  EXPECT_TRUE(Contains(diff_refused.err, "is 257 bytes")) << diff_refused.err;
  EXPECT_TRUE(Contains(diff_refused.err, "(--whole 'pak0.pk3' ships it as it is)"))
      << diff_refused.err;
  CommandResult whole = Diff(" --whole pak0.pk3");
  EXPECT_EQ(whole.exit_code, 0) << whole.err;
  EXPECT_TRUE(Contains(whole.out, "whole: pak0.pk3 (kept whole by --whole pak0.pk3)")) << whole.out;
}

}  // namespace
