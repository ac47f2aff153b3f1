// Game archives as other programs write them, under the extension of a real
// game (.pk3): Info-ZIP zip, 7-Zip and Python's zipfile, with upper-case
// names, folder entries, data descriptors, extra fields, stored and deflated
// entries. They go through diff, build, verify --expect and the console
// installer, and the installed game is read back entry by entry.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "patchpack_runner.h"
#include "tests/support/command.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

using patchpack_test::RunPatchpack;
using test_support::CommandResult;
using test_support::Quoted;
using test_support::ReadText;
using test_support::RunCommand;
using test_support::Succeeded;
using test_support::TempDir;
using test_support::WriteText;

// Packs a folder as Python's zipfile does when it writes to a pipe, so that
// every entry has a data descriptor: .wav files stored, everything else
// deflated, a folder entry for each folder, and an extra field on each file.
constexpr const char* kPythonPack = R"(import os, struct, sys, zipfile
root = sys.argv[1]
with zipfile.ZipFile(sys.stdout.buffer, "w") as archive:
    for folder, folders, files in sorted(os.walk(root)):
        folders.sort()
        relative = os.path.relpath(folder, root)
        if relative != ".":
            archive.writestr(zipfile.ZipInfo(relative + "/"), b"")
        for name in sorted(files):
            path = os.path.join(folder, name)
            info = zipfile.ZipInfo(os.path.relpath(path, root), (2020, 5, 17, 12, 30, 0))
            info.compress_type = zipfile.ZIP_STORED if name.endswith(".wav") else zipfile.ZIP_DEFLATED
            info.extra = struct.pack("<HH4s", 0xCAFE, 4, b"game")
            with open(path, "rb") as data:
                archive.writestr(info, data.read())
)";

// One line per entry: the name as the game's file system sees it (lower
// case), a trailing '/' for a folder, and the SHA-1 of the content, read
// and so checked against the CRC-32; then whether the data descriptor flag
// was seen on any entry.
constexpr const char* kListEntries = R"(import hashlib, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    for info in sorted(archive.infolist(), key=lambda i: i.filename.lower()):
        print(info.filename.lower(), hashlib.sha1(archive.read(info)).hexdigest())
)";

constexpr const char* kDescriptors = R"(import sys, zipfile
print(any(i.flag_bits & 8 for i in zipfile.ZipFile(sys.argv[1]).infolist()))
)";

// Bytes that do not compress, so that an archive shipped whole shows in the
// payload's size.
std::string Noise(std::size_t size, std::uint32_t seed) {
  std::string noise;
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245 + 12345;
    noise += static_cast<char>(seed >> 24);
  }
  return noise;
}

constexpr std::size_t kBigEntry = 1 << 20;

class PatchpackArchives : public ::testing::Test {
 protected:
  PatchpackArchives() {
    WriteText(dir / "pack.py", kPythonPack);
    WriteText(dir / "list.py", kListEntries);
    WriteText(dir / "descriptors.py", kDescriptors);
  }

  void Shell(const std::string& command) { ASSERT_TRUE(Succeeded(RunCommand(command))) << command; }

  // The tree that every archive of one game version holds.
  void LayOutTree(const fs::path& tree, bool is_new) {
    WriteText(tree / "Maps/Big.BSP", Noise(kBigEntry, 7));
    WriteText(tree / "Maps/Q3DM1.bsp", "map one " + std::string(2000, 'm'));
    WriteText(tree / "Sound/Hit.wav", is_new ? "RIFF new hit" : "RIFF old hit");
    WriteText(tree / "Scripts/Weapons.CFG", is_new ? "damage 120\n" : "damage 100\n");
    WriteText(tree / "Readme.TXT", std::string(3000, 'r'));
    if (is_new) {
      WriteText(tree / "Scripts/New/Rail.CFG", "rail 1\n");
    } else {
      WriteText(tree / "Gone/Old.SHADER", "old shader");
    }
  }

  // The same tree written by three programs, as three archives of a game.
  void MakeGame(const fs::path& game, bool is_new) {
    const fs::path tree = dir / (is_new ? "tree-new" : "tree-old");
    LayOutTree(tree, is_new);
    fs::create_directories(game / "baseq3");
    WriteText(game / "sv.exe", is_new ? "MZ new" : "MZ old");
    WriteText(game / "data/game.ini", "ini");
    // Info-ZIP to a pipe: data descriptors, folder entries, its extra
    // fields, .wav stored.
    Shell("cd " + Quoted(tree) + " && zip -q -r -n .wav - . | cat > " +
          Quoted(game / "baseq3/pak0.pk3"));
    // 7-Zip: deflated, then the sounds stored by a second run.
    Shell("cd " + Quoted(tree) + " && 7z a -tzip -bd -bso0 -x!Sound " +
          Quoted(game / "baseq3/pak1.pk3") + " . && 7z a -tzip -mx=0 -bd -bso0 " +
          Quoted(game / "baseq3/pak1.pk3") + " Sound");
    Shell("python3 " + Quoted(dir / "pack.py") + " " + Quoted(tree) + " | cat > " +
          Quoted(game / "baseq3/pak2.pk3"));
  }

  std::string Entries(const fs::path& archive) {
    CommandResult listed = RunCommand("python3 " + Quoted(dir / "list.py") + " " + Quoted(archive));
    EXPECT_EQ(listed.exit_code, 0) << listed.err;
    return listed.out;
  }

  // The entries of an archive that are files; folder entries apart.
  static std::string Files(const std::string& entries, bool folders) {
    std::string kept;
    for (std::size_t start = 0; start < entries.size();) {
      std::size_t end = entries.find('\n', start) + 1;
      std::string line = entries.substr(start, end - start);
      if ((line.find("/ ") != std::string::npos) == folders) kept += line;
      start = end;
    }
    return kept;
  }

  TempDir dir;
};

TEST_F(PatchpackArchives, ArchivesOfThreeWritersGoByEntryAndInstallAsInNew) {
  MakeGame(dir / "old", false);
  WriteText(dir / "old/curver.txt", "3\r\n");
  MakeGame(dir / "new", true);
  for (const char* pak : {"pak0.pk3", "pak2.pk3"}) {
    EXPECT_EQ(RunCommand("python3 " + Quoted(dir / "descriptors.py") + " " +
                         Quoted(dir / "old/baseq3" / pak))
                  .out,
              "True\n")
        << pak << " has no data descriptors";
  }

  CommandResult diff = RunPatchpack("diff " + Quoted(dir / "old") + " " + Quoted(dir / "new") +
                                    " -o " + Quoted(dir / "source") + " --version 4 --quiet");
  ASSERT_EQ(diff.exit_code, 0) << diff.err;
  for (const char* pak : {"pak0.pk3", "pak1.pk3", "pak2.pk3"}) {
    // Weapons.CFG, Hit.wav and Rail.CFG written; Old.SHADER and its folder dropped.
    EXPECT_NE(diff.out.find("by entry: baseq3/" + std::string(pak) +
                            " (3 new entries, 2 dropped entries)\n"),
              std::string::npos)
        << diff.out;
  }
  EXPECT_EQ(diff.out.find("whole:"), std::string::npos) << diff.out;
  EXPECT_EQ(ReadText(dir / "source/archives/baseq3/pak1.pk3/scripts/new/rail.cfg"), "rail 1\n");

  CommandResult built = RunPatchpack("build " + Quoted(dir / "source") + " -o " +
                                     Quoted(dir / "patch.bin") + " --quiet");
  ASSERT_EQ(built.exit_code, 0) << built.err;
  // Whole, the archives would carry three copies of the incompressible map.
  EXPECT_LT(fs::file_size(dir / "patch.bin"), kBigEntry / 4);

  CommandResult verified =
      RunPatchpack("verify " + Quoted(dir / "patch.bin") + " " + Quoted(dir / "old") +
                   " --quiet --expect " + Quoted(dir / "new"));
  EXPECT_EQ(verified.exit_code, 0) << verified.out << verified.err;

  CommandResult attached =
      RunPatchpack("attach " + Quoted(PATCH_INSTALLER_PATH) + " " + Quoted(dir / "patch.bin") +
                   " -o " + Quoted(dir / "installer") + " --quiet");
  ASSERT_EQ(attached.exit_code, 0) << attached.err;
  fs::copy(dir / "old", dir / "game", fs::copy_options::recursive);
  CommandResult installed =
      RunCommand("cd " + Quoted(dir / "game") + " && " + Quoted(dir / "installer") + " </dev/null");
  ASSERT_EQ(installed.exit_code, 0) << installed.out << installed.err;

  EXPECT_EQ(ReadText(dir / "game/sv.exe"), "MZ new");
  EXPECT_EQ(ReadText(dir / "game/curver.txt"), "4\r\n");
  for (const char* pak : {"pak0.pk3", "pak1.pk3", "pak2.pk3"}) {
    SCOPED_TRACE(pak);
    const std::string installed_entries = Entries(dir / "game/baseq3" / pak);
    const std::string new_entries = Entries(dir / "new/baseq3" / pak);
    EXPECT_EQ(Files(installed_entries, false), Files(new_entries, false));
    EXPECT_NE(Files(installed_entries, false).find("maps/big.bsp "), std::string::npos);
    // The folders that survive; a new folder gets no entry of its own, and
    // the game needs none.
    const std::string installed_folders = Files(installed_entries, true);
    EXPECT_EQ(installed_folders.find("gone/"), std::string::npos) << installed_folders;
    EXPECT_NE(installed_folders.find("maps/"), std::string::npos) << installed_folders;
  }
}

TEST_F(PatchpackArchives, ArchivesTheInstallerCannotRebuildGoWholeWithTheReason) {
  const fs::path tree = dir / "tree";
  WriteText(tree / "A.txt", "alpha");
  WriteText(tree / "b.txt", "beta");
  WriteText(dir / "old/sv.exe", "MZ");
  WriteText(dir / "old/notes.pk3", "not an archive, in either folder");
  WriteText(dir / "new/sv.exe", "MZ");
  WriteText(dir / "new/notes.pk3", "still not an archive");
  for (const char* game : {"old", "new"}) {
    const std::string suffix = game == std::string("old") ? " 1" : " 2";
    const fs::path root = dir / game;
    WriteText(tree / "b.txt", std::string("beta") + suffix);
    Shell("cd " + Quoted(tree) + " && zip -q -P secret " + Quoted(root / "locked.pk3") + " *");
    Shell("cd " + Quoted(tree) + " && zip -q " + Quoted(root / "kept.pk3") + " *");
    Shell("cd " + Quoted(tree) + " && zip -q " + Quoted(root / "plain.pk3") + " *");
    // A self-extracting program: a zip after other bytes.
    Shell("cd " + Quoted(tree) + " && zip -q " + Quoted(dir / "sfx.zip") + " * && " +
          "{ printf 'MZ stub'; cat " + Quoted(dir / "sfx.zip") + "; } > " +
          Quoted(root / "setup.pk4") + " && rm " + Quoted(dir / "sfx.zip"));
    // Split at zip's smallest part size: a 64 KiB first part and the end,
    // which zip names .zip and the game .pk3.
    WriteText(tree / "noise.bin", Noise(100000, 3));
    Shell("cd " + Quoted(tree) + " && zip -q -s 64k " + Quoted(root / "split.zip") + " * && mv " +
          Quoted(root / "split.zip") + " " + Quoted(root / "split.pk3"));
    fs::remove(tree / "noise.bin");
  }

  CommandResult diff =
      RunPatchpack("diff " + Quoted(dir / "old") + " " + Quoted(dir / "new") + " -o " +
                   Quoted(dir / "source") + " --version 2 --whole '*/nothing' --whole=KEPT.pk3");
  ASSERT_EQ(diff.exit_code, 0) << diff.err;
  EXPECT_NE(diff.out.find("by entry: plain.pk3 (1 new entry, 0 dropped entries)\n"),
            std::string::npos)
      << diff.out;
  EXPECT_NE(diff.out.find("whole: kept.pk3 (kept whole by --whole KEPT.pk3)\n"), std::string::npos)
      << diff.out;
  EXPECT_NE(diff.out.find("whole: locked.pk3 (NEW's entry 'A.txt' is encrypted)\n"),
            std::string::npos)
      << diff.out;
  EXPECT_NE(diff.out.find("whole: setup.pk4 (NEW's copy has other data before the archive"),
            std::string::npos)
      << diff.out;
  EXPECT_NE(diff.out.find("whole: split.pk3 (NEW's copy is one part of an archive split"),
            std::string::npos)
      << diff.out;
  EXPECT_NE(diff.out.find("whole: split.z01 (NEW's copy is one part of an archive split"),
            std::string::npos)
      << diff.out;
  EXPECT_EQ(diff.out.find("notes.pk3"), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find("(5 whole archives among them), 1 archive with"), std::string::npos)
      << diff.out;
  EXPECT_TRUE(fs::exists(dir / "source/files/notes.pk3"));

  ASSERT_EQ(RunPatchpack("build " + Quoted(dir / "source") + " -o " + Quoted(dir / "patch.bin"))
                .exit_code,
            0);
  CommandResult verified =
      RunPatchpack("verify " + Quoted(dir / "patch.bin") + " " + Quoted(dir / "old") +
                   " --quiet --expect " + Quoted(dir / "new"));
  EXPECT_EQ(verified.exit_code, 0) << verified.out << verified.err;
}

}  // namespace
