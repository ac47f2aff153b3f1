// patchpack verify, end to end: real game folders with zip archives made by
// Info-ZIP, the real binary, payloads from build and installers from attach.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "patchpack_runner.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

using patchpack_test::RunPatchpack;
using test_support::Quoted;
using test_support::RunCommand;
using test_support::TempDir;
using test_support::WriteText;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class PatchpackVerify : public ::testing::Test {
 protected:
  // OLD and NEW games that differ in a loose file, an archive entry and a
  // deletion; the patch between them is built from diff's source.
  void SetUp() override {
    WriteText(dir / "old/sv.exe", "old exe");
    WriteText(dir / "old/data/game.ini", "ini");
    WriteText(dir / "old/obsolete.dll", "gone");
    WriteText(dir / "old/curver.txt", "13\r\nonline");
    MakeZip(dir / "old/data/tex.zip", {{"a.txt", "A"}, {"b.txt", "B"}});
    WriteText(dir / "new/sv.exe", "new exe");
    WriteText(dir / "new/data/game.ini", "ini");
    MakeZip(dir / "new/data/tex.zip", {{"a.txt", "A2"}, {"b.txt", "B"}});
    ASSERT_EQ(RunPatchpack("diff " + Quoted(dir / "old") + " " + Quoted(dir / "new") + " -o " +
                           Quoted(dir / "source") + " --version 14")
                  .exit_code,
              0);
    auto built = RunPatchpack("build " + Quoted(dir / "source") + " -o " + Quoted(dir / "p.bin"));
    ASSERT_EQ(built.exit_code, 0) << built.err;
  }

  void MakeZip(const fs::path& archive,
               std::initializer_list<std::pair<std::string, std::string>> entries) {
    fs::path staging = dir / "zip-staging";
    fs::remove_all(staging);
    std::string names;
    for (const auto& [name, content] : entries) {
      WriteText(staging / name, content);
      names += " " + Quoted(name);
    }
    fs::create_directories(archive.parent_path());
    ASSERT_EQ(
        RunCommand("cd " + Quoted(staging) + " && zip -q -X " + Quoted(archive) + names).exit_code,
        0);
    fs::remove_all(staging);
  }

  test_support::CommandResult Verify(const fs::path& input, const std::string& extra = "") {
    return RunPatchpack("verify " + Quoted(input) + " " + Quoted(dir / "old") + extra);
  }

  TempDir dir;
};

TEST_F(PatchpackVerify, APatchFromDiffInstallsAndEqualsNewWithoutTouchingTheGame) {
  auto before = test_support::Snapshot(dir / "old");
  auto result = Verify(dir / "p.bin", " --expect " + Quoted(dir / "new"));
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_TRUE(Contains(result.out, "installed: Update installed successfully!")) << result.out;
  EXPECT_TRUE(Contains(result.out, "the result equals ")) << result.out;
  EXPECT_EQ(test_support::Snapshot(dir / "old"), before);
}

TEST_F(PatchpackVerify, AnsweringTheReinstallQuestionIsReported) {
  WriteText(dir / "old/curver.txt", "14\r\nonline");
  auto result = Verify(dir / "p.bin", " --expect=" + Quoted(dir / "new"));
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_TRUE(Contains(result.out, "asked, answered yes: Patch is already installed!"))
      << result.out;
}

TEST_F(PatchpackVerify, ListsEveryDifferenceFromNew) {
  WriteText(dir / "new/extra.txt", "only in new");
  WriteText(dir / "new/sv.exe", "other exe");
  MakeZip(dir / "new/data/tex.zip", {{"a.txt", "A2"}, {"b.txt", "B"}, {"c.txt", "C"}});
  WriteText(dir / "old/stray.txt", "left over");
  auto result = Verify(dir / "p.bin", " --expect " + Quoted(dir / "new"));
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_TRUE(Contains(result.out, "differs from " + (dir / "new").string() + " in 4 places"))
      << result.out;
  EXPECT_TRUE(Contains(result.out, "  data/tex.zip: entries differ from NEW: c.txt\n"))
      << result.out;
  EXPECT_TRUE(Contains(result.out, "  extra.txt: in NEW, missing after the install\n"));
  EXPECT_TRUE(Contains(result.out, "  sv.exe: other bytes than in NEW\n"));
  EXPECT_TRUE(Contains(result.out, "  stray.txt: left after the install, not in NEW\n"));
}

TEST_F(PatchpackVerify, NamesWhyTheInstallerWouldFail) {
  struct Case {
    const char* what;
    std::function<void()> spoil;
    const char* shown;
    const char* because;
  } cases[] = {
      {"archive missing", [&] { fs::remove(dir / "old/data/tex.zip"); }, "Unknown error",
       "because data\\tex.zip: the patch rewrites this archive, which the game does not have"},
      {"archive unreadable", [&] { WriteText(dir / "old/data/tex.zip", "not a zip"); },
       "Unknown error", "because data\\tex.zip: the game's archive cannot be read as a zip"},
      {"other edition", [&] { WriteText(dir / "old/curver.txt", "13\r\ngerman"); },
       "This patch is for the English version only!", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir / "old");
    fs::copy(dir / "new", dir / "old", fs::copy_options::recursive);
    MakeZip(dir / "old/data/tex.zip", {{"a.txt", "A"}, {"b.txt", "B"}});
    c.spoil();
    auto before = test_support::Snapshot(dir / "old");
    auto result = Verify(dir / "p.bin");
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(Contains(result.out, std::string("FAILED: the installer shows \"") + c.shown))
        << result.out;
    if (c.because != nullptr) {
      EXPECT_TRUE(Contains(result.out, c.because)) << result.out;
    }
    EXPECT_EQ(test_support::Snapshot(dir / "old"), before);
  }
}

// A game folder copied from a file system that tells case apart may hold
// several spellings of one archive. verify must look for the reason of a
// failure in the spelling the installer rewrites, not in another: the one
// spelt as in the patch, else the smallest in byte order, in whatever order
// the folder lists them.
TEST_F(PatchpackVerify, OfNamesThatDifferOnlyInCaseExaminesTheArchiveTheInstallerRewrites) {
  auto attached = RunPatchpack("attach " + Quoted(PATCH_INSTALLER_PATH) + " " +
                               Quoted(dir / "p.bin") + " -o " + Quoted(dir / "installer"));
  ASSERT_EQ(attached.exit_code, 0) << attached.err;
  // Every spelling of "tex" before ".zip"; the patch rewrites data\tex.zip.
  std::vector<std::string> spellings;
  for (int mask = 0; mask < 8; ++mask) {
    std::string name = "tex";
    for (int i = 0; i < 3; ++i) {
      if (mask & (1 << i)) name[i] = static_cast<char>(name[i] - 32);
    }
    spellings.push_back(name + ".zip");
  }
  struct Case {
    bool with_patch_spelling;
    const char* chosen;
    bool chosen_is_whole;
  } cases[] = {
      {false, "TEX.zip", false},
      {false, "TEX.zip", true},
      {true, "tex.zip", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.chosen) + (c.chosen_is_whole ? " whole" : " unreadable") +
                 (c.with_patch_spelling ? "" : ", no tex.zip"));
    fs::remove_all(dir / "old/data");
    WriteText(dir / "old/data/game.ini", "ini");
    for (const std::string& name : spellings) {
      if (name == "tex.zip" && !c.with_patch_spelling) continue;
      if ((name == c.chosen) == c.chosen_is_whole) {
        MakeZip(dir / "old/data" / name, {{"a.txt", "A"}, {"b.txt", "B"}});
      } else {
        WriteText(dir / "old/data" / name, "not a zip");
      }
    }
    fs::remove_all(dir / "game");
    fs::copy(dir / "old", dir / "game", fs::copy_options::recursive);

    auto verified = Verify(dir / "p.bin");
    auto installed = RunCommand("cd " + Quoted(dir / "game") + " && HOME=" + Quoted(dir / "home") +
                                " XDG_CONFIG_HOME=" + Quoted(dir / "home/.config") + " " +
                                Quoted(dir / "installer") + " </dev/null");
    const fs::path chosen = dir / "game/data" / c.chosen;
    if (c.chosen_is_whole) {
      EXPECT_EQ(verified.exit_code, 0) << verified.out;
      EXPECT_EQ(installed.exit_code, 0) << installed.out << installed.err;
      EXPECT_EQ(RunCommand("unzip -p " + Quoted(chosen) + " a.txt").out, "A2");
    } else {
      EXPECT_EQ(verified.exit_code, 1) << verified.out;
      EXPECT_TRUE(Contains(verified.out,
                           "because data\\tex.zip: the game's archive cannot be read as a zip"))
          << verified.out;
      EXPECT_TRUE(Contains(installed.out + installed.err, "Unknown error"))
          << installed.out << installed.err;
      EXPECT_EQ(test_support::ReadText(chosen), "not a zip");
    }
    // Every other spelling is left as it was.
    for (const std::string& name : spellings) {
      if (name == c.chosen || !fs::exists(dir / "old/data" / name)) continue;
      EXPECT_EQ(test_support::ReadText(dir / "game/data" / name),
                test_support::ReadText(dir / "old/data" / name))
          << name;
    }
  }
}

// The --json document, read back by Python's parser: one line per query.
std::string QueryJson(const test_support::CommandResult& result, const fs::path& file,
                      const std::string& expressions) {
  WriteText(file, result.out);
  auto parsed = RunCommand("python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); " +
                           expressions + "' " + Quoted(file));
  EXPECT_EQ(parsed.exit_code, 0) << parsed.err << result.out;
  return parsed.out;
}

TEST_F(PatchpackVerify, JsonGivesThePatchTheStagingThisGameNeedsAndTheResult) {
  auto result = Verify(dir / "p.bin", " --json --quiet --expect " + Quoted(dir / "new"));
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.err, "");
  // "new exe" and the new a.txt, "A2", staged, and the old archive whole.
  const auto archive = fs::file_size(dir / "old/data/tex.zip");
  EXPECT_EQ(QueryJson(result, dir / "ok.json",
                      "print(d[\"kind\"], d[\"version\"], d[\"result\"], d[\"differences\"]); "
                      "print([(s[\"name\"], s[\"count\"]) for s in d[\"sections\"]]); "
                      "print(d[\"staging\"][\"bytes_at_least\"], d[\"staging\"][\"exact\"]); "
                      "print(d[\"payload\"][\"sha1\"], d[\"installed\"])"),
            "payload 14 ok []\n[('loose files', 1), ('archives', 1), ('deletions', 1)]\n" +
                std::to_string(7 + 2 + archive) + " True\n" +
                RunCommand("sha1sum " + Quoted(dir / "p.bin")).out.substr(0, 40) +
                " Update installed successfully!\n");

  WriteText(dir / "new/extra.txt", "only in new");
  auto differs = Verify(dir / "p.bin", " --json --expect=" + Quoted(dir / "new"));
  EXPECT_EQ(differs.exit_code, 1);
  EXPECT_EQ(QueryJson(differs, dir / "differs.json", "print(d[\"result\"], d[\"differences\"])"),
            "differs ['extra.txt: in NEW, missing after the install']\n");

  fs::remove(dir / "old/data/tex.zip");
  WriteText(dir / "old/curver.txt", "14\r\nonline");
  auto failed = Verify(dir / "p.bin", " --json");
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_EQ(QueryJson(failed, dir / "failed.json",
                      "print(d[\"result\"], \"|\", d[\"error\"], \"|\", len(d[\"because\"])); "
                      "print(d[\"questions\"]); print(\"differences\" in d)"),
            "install failed | Unknown error | 1\n"
            "['Patch is already installed! Do you want to reinstall this patch?']\nFalse\n");
}

TEST_F(PatchpackVerify, TakesAConsoleInstallerAndRefusesBadArguments) {
  auto attached = RunPatchpack("attach " + Quoted(PATCH_INSTALLER_PATH) + " " +
                               Quoted(dir / "p.bin") + " -o " + Quoted(dir / "installer"));
  ASSERT_EQ(attached.exit_code, 0) << attached.err;
  auto result = Verify(dir / "installer", " --expect " + Quoted(dir / "new"));
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_TRUE(Contains(result.out, "(installer)")) << result.out;

  auto no_game = RunPatchpack("verify " + Quoted(dir / "p.bin") + " " + Quoted(dir / "nothere"));
  EXPECT_EQ(no_game.exit_code, 1);
  EXPECT_TRUE(patchpack_test::IsOneLineError(no_game)) << no_game.err;
  EXPECT_TRUE(Contains(no_game.err, "nothere does not exist")) << no_game.err;
  auto folder_input = Verify(dir / "new");
  EXPECT_TRUE(patchpack_test::IsOneLineError(folder_input)) << folder_input.err;
  EXPECT_TRUE(Contains(folder_input.err, "is a folder, not a file")) << folder_input.err;
  EXPECT_EQ(RunPatchpack("verify " + Quoted(dir / "p.bin")).exit_code, 2);
}

}  // namespace
}  // namespace patchpack
