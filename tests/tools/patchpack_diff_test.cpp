// patchpack diff, end to end: game folders with real zip archives made by
// Python's zipfile, the real binary, then build, inspect and the engine
// applying the payload to a copy of the old folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/fs/file_system.h"
#include "engine/installer_host.h"
#include "engine/run_installation.h"
#include "patchpack_runner.h"
#include "tests/support/command.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

using patchpack_test::IsOneLineError;
using patchpack_test::RunPatchpack;
using test_support::Bytes;
using test_support::CommandResult;
using test_support::Quoted;
using test_support::ReadBytes;
using test_support::ReadText;
using test_support::RunCommand;
using test_support::TempDir;
using test_support::WriteText;

constexpr const char* kMakeZip = R"(import sys, zipfile
method = zipfile.ZIP_DEFLATED if sys.argv[2] == "deflate" else zipfile.ZIP_STORED
with zipfile.ZipFile(sys.argv[1], "w", method) as archive:
    for name, content in zip(sys.argv[3::2], sys.argv[4::2]):
        archive.writestr(name, content)
)";

// Every entry by lower-cased name with the SHA-1 of its content; reading
// the content also checks its CRC-32.
constexpr const char* kListZip = R"(import sys, zipfile, hashlib
with zipfile.ZipFile(sys.argv[1]) as archive:
    for name, digest in sorted((i.filename.lower(), hashlib.sha1(archive.read(i)).hexdigest())
                               for i in archive.infolist()):
        print(name, digest)
)";

class PatchpackDiff : public ::testing::Test {
 protected:
  PatchpackDiff() {
    WriteText(dir / "make_zip.py", kMakeZip);
    WriteText(dir / "list_zip.py", kListZip);
  }

  void MakeZip(const fs::path& path, const std::string& method,
               const std::vector<std::pair<std::string, std::string>>& entries) {
    fs::create_directories(path.parent_path());
    std::string command =
        "python3 " + Quoted(dir / "make_zip.py") + " " + Quoted(path) + " " + method;
    for (const auto& [name, content] : entries)
      command += " " + Quoted(name) + " " + Quoted(content);
    CommandResult result = RunCommand(command);
    ASSERT_EQ(result.exit_code, 0) << result.err;
  }

  std::string ZipListing(const fs::path& path) {
    CommandResult result =
        RunCommand("python3 " + Quoted(dir / "list_zip.py") + " " + Quoted(path));
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return result.out;
  }

  CommandResult Diff(const std::string& extra = "") {
    return RunPatchpack("diff " + Quoted(dir / "old") + " " + Quoted(dir / "new") + " -o " +
                        Quoted(dir / "source") + " --version 5" + extra);
  }

  // Builds the source and returns what inspect lists.
  std::string BuildAndInspect(const std::string& build_options = "") {
    CommandResult built = RunPatchpack("build " + Quoted(dir / "source") + " -o " +
                                       Quoted(dir / "patch.bin") + build_options);
    EXPECT_EQ(built.exit_code, 0) << built.err;
    CommandResult inspected = RunPatchpack("inspect " + Quoted(dir / "patch.bin"));
    EXPECT_EQ(inspected.exit_code, 0) << inspected.err;
    return inspected.out;
  }

  // Every file of a folder but curver.txt, archives by their contents.
  std::map<std::string, std::string> Contents(const fs::path& root) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      std::string path = entry.path().lexically_relative(root).generic_string();
      if (!entry.is_regular_file() || path == "curver.txt") continue;
      contents[path] = path.ends_with(".zip") ? ZipListing(entry.path()) : ReadText(entry.path());
    }
    return contents;
  }

  TempDir dir;
};

// Answers yes and keeps what it is told to show.
class ApprovingHost final : public engine::InstallerHost {
 public:
  void SetStatusText(const char16_t*) override {}
  void SetButtonText(const char16_t*) override {}
  bool AskYesNo(const char16_t*) override { return true; }
  void ShowError(const char16_t* text) override { errors += std::u16string(text) + u"\n"; }
  void CloseDialog() override {}
  bool IsCancelRequested() override { return false; }
  void MarkFinished() override { finished = true; }

  std::u16string errors;
  bool finished = false;
};

void Install(const fs::path& game, const Bytes& payload) {
  fs::path previous = fs::current_path();
  fs::current_path(game);
  ApprovingHost host;
  engine::RunInstallation(host, engine::NativeFileSystem(),
                          [&] { return std::optional<std::span<const std::uint8_t>>(payload); });
  fs::current_path(previous);
  EXPECT_TRUE(host.finished);
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(PatchpackDiff, PatchTurnsTheOldFolderIntoTheNewOne) {
  WriteText(dir / "old/readme.txt", "old readme");
  WriteText(dir / "old/bin/game.exe", "v1");
  WriteText(dir / "old/gone.dll", "x");
  WriteText(dir / "old/curver.txt", "3");
  MakeZip(dir / "old/data/sounds.zip", "deflate",
          {{"SFX/Hit.wav", "boom"}, {"music.ogg", "m1"}, {"old.txt", "o"}, {"same.txt", "s"}});
  MakeZip(dir / "old/data/meta.zip", "deflate", {{"a.txt", "aaaa"}, {"b/", ""}});
  WriteText(dir / "old/data/broken.zip", "not a zip at all");

  WriteText(dir / "new/readme.txt", "new readme");
  WriteText(dir / "new/bin/game.exe", "v1");
  WriteText(dir / "new/added/new.bin", std::string("\0\1\2", 3));
  WriteText(dir / "new/curver.txt", "4");
  MakeZip(
      dir / "new/data/sounds.zip", "deflate",
      {{"same.txt", "s"}, {"Added/Entry.TXT", "e"}, {"SFX/Hit.wav", "boom"}, {"music.ogg", "m2"}});
  // The same contents stored instead of deflated: other bytes, nothing to patch.
  MakeZip(dir / "new/data/meta.zip", "store", {{"a.txt", "aaaa"}, {"b/", ""}});
  MakeZip(dir / "new/data/broken.zip", "deflate", {{"fixed.txt", "f"}});

  CommandResult result = Diff();
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "by entry: data/sounds.zip (2 new entries, 1 dropped entry)\n"
                        "whole: data/broken.zip (OLD's copy is not a readable zip archive)\n"
                        "wrote " + (dir / "source").string() +
                            ": 3 loose files (1 whole archive among them), 1 archive with 2 new "
                            "entries and 1 dropped entry, 1 deletion\n");
  EXPECT_EQ(ReadText(dir / "source/version.txt"), "5\n");

  std::string broken_size = std::to_string(fs::file_size(dir / "new/data/broken.zip"));
  EXPECT_EQ(BuildAndInspect(),
            "version 5\n"
            "x86 filter off\n"
            "loose files: 3\n"
            "  added\\new.bin  3 bytes\n"
            "  data\\broken.zip  " +
                broken_size +
                " bytes\n"
                "  readme.txt  10 bytes\n"
                "archives: 1\n"
                "  data\\sounds.zip\n"
                "    + added/entry.txt  1 bytes\n"
                "    + music.ogg  2 bytes\n"
                "    - old.txt\n"
                "deletions: 1\n"
                "  gone.dll\n");

  fs::copy(dir / "old", dir / "game", fs::copy_options::recursive);
  Install(dir / "game", ReadBytes(dir / "patch.bin"));
  EXPECT_EQ(Contents(dir / "game"), Contents(dir / "new"));
}

TEST_F(PatchpackDiff, UnchangedFoldersGiveAnEmptyPatch) {
  WriteText(dir / "old/readme.txt", "same");
  MakeZip(dir / "old/data/sounds.zip", "deflate", {{"a.txt", "a"}});
  fs::copy(dir / "old", dir / "new", fs::copy_options::recursive);
  WriteText(dir / "new/curver.txt", "9");
  fs::create_directories(dir / "source");

  CommandResult result = Diff();
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::vector<std::string> written;
  for (const auto& entry : fs::recursive_directory_iterator(dir / "source")) {
    written.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(written, std::vector<std::string>{"version.txt"});
  // Only the version changes, which build refuses unless asked.
  EXPECT_NE(BuildAndInspect(" --allow-empty").find("loose files: 0\narchives: 0\ndeletions: 0\n"),
            std::string::npos);
}

TEST_F(PatchpackDiff, CaseOnlyRenamesMatchAndTargetsAreSpelledAsInNew) {
  WriteText(dir / "old/Data/Readme.TXT", "same");
  WriteText(dir / "old/Other.txt", "x");
  MakeZip(dir / "old/Data/Sounds.zip", "deflate", {{"A.txt", "1"}, {"Keep.txt", "k"}});
  WriteText(dir / "new/data/readme.txt", "same");
  WriteText(dir / "new/other.TXT", "y");
  MakeZip(dir / "new/data/sounds.ZIP", "deflate", {{"a.txt", "2"}, {"keep.txt", "k"}});

  CommandResult result = Diff();
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(BuildAndInspect(),
            "version 5\n"
            "x86 filter off\n"
            "loose files: 1\n"
            "  other.TXT  1 bytes\n"
            "archives: 1\n"
            "  data\\sounds.ZIP\n"
            "    + a.txt  1 bytes\n"
            "deletions: 0\n");
}

// A patch from the newer game back to the older builds as well as the right
// one; the versions the folders record are what can tell them apart.
TEST_F(PatchpackDiff, WarnsWhenNewRecordsAVersionNotAboveOld) {
  WriteText(dir / "old/readme.txt", "older");
  WriteText(dir / "new/readme.txt", "newer");
  WriteText(dir / "old/curver.txt", "4\r\nonline");
  WriteText(dir / "new/CurVer.TXT", "5\r\nonline");
  CommandResult right = Diff(" --quiet");
  ASSERT_EQ(right.exit_code, 0) << right.err;
  EXPECT_EQ(right.err, "");

  fs::remove_all(dir / "source");
  CommandResult swapped = RunPatchpack("diff " + Quoted(dir / "new") + " " + Quoted(dir / "old") +
                                       " -o " + Quoted(dir / "source") + " --version 6 --quiet");
  ASSERT_EQ(swapped.exit_code, 0) << swapped.err;
  EXPECT_EQ(swapped.err,
            "patchpack: warning: NEW's curver.txt records version 4, not above OLD's 5; were OLD "
            "and NEW given the wrong way round?\n");
  EXPECT_EQ(swapped.out.rfind("wrote ", 0), 0u) << swapped.out;

  fs::remove_all(dir / "source");
  WriteText(dir / "old/curver.txt", "5\r\nonline");
  CommandResult same = Diff(" --quiet");
  EXPECT_NE(same.err.find("records version 5, not above OLD's 5"), std::string::npos) << same.err;
}

TEST_F(PatchpackDiff, JsonListsWhatTheSourceHolds) {
  WriteText(dir / "old/readme.txt", "old");
  WriteText(dir / "old/gone.txt", "bye");
  MakeZip(dir / "old/data/sounds.zip", "deflate", {{"a.txt", "1"}, {"b.txt", "b"}});
  WriteText(dir / "new/readme.txt", "new");
  MakeZip(dir / "new/data/sounds.zip", "deflate", {{"a.txt", "2"}, {"c.txt", "c"}});
  WriteText(dir / "old/curver.txt", "7");
  WriteText(dir / "new/curver.txt", "7");
  CommandResult result = Diff(" --json --quiet");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.err, "") << "the warning is in the document";
  WriteText(dir / "report.json", result.out);
  CommandResult read = RunCommand(
      "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
      "print(d[\"version\"], d[\"loose_files\"], d[\"archives\"], d[\"new_entries\"], "
      "d[\"dropped_entries\"], d[\"deletions\"], len(d[\"warnings\"]), d[\"result\"])' " +
      Quoted(dir / "report.json"));
  ASSERT_EQ(read.exit_code, 0) << read.err << result.out;
  EXPECT_EQ(read.out,
            "5 ['readme.txt'] [{'name': 'data/sounds.zip', 'new_entries': ['a.txt', 'c.txt'], "
            "'dropped_entries': ['b.txt']}] 2 1 ['gone.txt'] 1 written\n");
  EXPECT_EQ(ReadText(dir / "source/archives/data/sounds.zip/c.txt"), "c");
}

TEST_F(PatchpackDiff, RefusesWhatItCannotDiffInOneLine) {
  WriteText(dir / "old/readme.txt", "a");
  MakeZip(dir / "old/data/x.zip", "deflate", {{"a.txt", "1"}});
  WriteText(dir / "new/readme.txt", "b");
  WriteText(dir / "new/data/x.zip", "garbage");
  CommandResult unreadable = Diff();
  EXPECT_EQ(unreadable.exit_code, 1);
  EXPECT_TRUE(IsOneLineError(unreadable)) << unreadable.err;
  EXPECT_NE(unreadable.err.find("data/x.zip"), std::string::npos) << unreadable.err;
  EXPECT_FALSE(fs::exists(dir / "source"));

  MakeZip(dir / "new/data/x.zip", "deflate", {{"A.txt", "1"}, {"a.txt", "2"}});
  CommandResult clash = Diff();
  EXPECT_TRUE(IsOneLineError(clash)) << clash.err;
  EXPECT_NE(clash.err.find("'A.txt' and 'a.txt'"), std::string::npos) << clash.err;

  MakeZip(dir / "new/data/x.zip", "deflate", {{"a.txt", "2"}});
  WriteText(dir / "source/note.txt", "mine");
  CommandResult occupied = Diff();
  EXPECT_TRUE(IsOneLineError(occupied)) << occupied.err;
  EXPECT_EQ(ReadText(dir / "source/note.txt"), "mine");

  CommandResult missing =
      RunPatchpack("diff " + Quoted(dir / "nowhere") + " " + Quoted(dir / "new") + " -o " +
                   Quoted(dir / "out") + " --version 1");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_TRUE(IsOneLineError(missing)) << missing.err;
  EXPECT_FALSE(fs::exists(dir / "out"));

  CommandResult no_version = RunPatchpack("diff " + Quoted(dir / "old") + " " +
                                          Quoted(dir / "new") + " -o " + Quoted(dir / "out"));
  EXPECT_EQ(no_version.exit_code, 2);
  EXPECT_TRUE(IsOneLineError(no_version)) << no_version.err;

  CommandResult help = RunPatchpack("diff --help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("usage: patchpack diff OLD NEW -o SOURCE --version N\n", 0), 0u);
}

}  // namespace
