// patchpack build, end to end: real source folders on disk, the real binary,
// and the payload it writes decoded with the installer's own decoder.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "patchpack_runner.h"
#include "payload/payload_container.h"
#include "payload/payload_writer.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace patchpack {
namespace {

// Whether a command left its partial output file behind in the folder.
bool HoldsPartialFile(const std::filesystem::path& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".partial") return true;
  }
  return false;
}

using patchpack_test::RunPatchpack;
using test_support::Quoted;
using test_support::TempDir;
using test_support::WriteText;

payload::Bytes Text(const std::string& text) { return payload::Bytes(text.begin(), text.end()); }

// A source that uses every part of the layout, written in an order unlike
// the sorted one so that sorting shows.
void WriteFullSource(const std::filesystem::path& source) {
  WriteText(source / "version.txt", " -3\r\n");
  WriteText(source / "files/z.txt", "last");
  WriteText(source / "files/data/readme.txt", "hello");
  WriteText(source / "files/empty.bin", "");
  WriteText(source / "archives/data/sounds.zip/sfx/hit.wav", "boom");
  WriteText(source / "archives/data/sounds.zip/a.txt", "A");
  WriteText(source / "archives/data/sounds.zip.drop", "sfx/old.wav\r\n\r\nmusic.ogg\n");
  WriteText(source / "archives/only_drops.pak.drop", "gone.txt");
  WriteText(source / "archives/base.zip/x", std::string("\0\1", 2));
  WriteText(source / "delete.txt", "old/stuff.dll\nbin\\legacy.exe\n\n");
}

payload::PatchDescription FullSourceDescription() {
  payload::PatchDescription description;
  description.version = static_cast<std::uint32_t>(-3);
  description.loose_files = {
      {"data\\readme.txt", Text("hello")}, {"empty.bin", {}}, {"z.txt", Text("last")}};
  description.archives = {
      {"base.zip", {{"x", {0, 1}}}, {}},
      {"data\\sounds.zip",
       {{"a.txt", Text("A")}, {"sfx/hit.wav", Text("boom")}},
       {"music.ogg", "sfx/old.wav"}},
      {"only_drops.pak", {}, {"gone.txt"}},
  };
  description.deletions = {"bin\\legacy.exe", "old\\stuff.dll"};
  return description;
}

payload::Bytes DecodedStream(const payload::Bytes& payload_bytes) {
  EXPECT_TRUE(payload::CheckPayloadTrailer(payload_bytes));
  std::span<const std::uint8_t> body(payload_bytes.data(), payload_bytes.size() - 20);
  std::optional<std::uint32_t> size = payload::ReadDeclaredSize(body);
  if (!size) return {};
  payload::Bytes block(*size);
  EXPECT_EQ(payload::DecodePayload(body, block), payload::DecodeResult::kOk);
  return block;
}

TEST(PatchpackBuild, WritesTheStreamOfTheWholeSourceSorted) {
  TempDir dir;
  WriteFullSource(dir / "source");
  auto result = RunPatchpack("build " + Quoted(dir / "source") + " -o " + Quoted(dir / "p.bin"));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.out.find(
                "3 loose files, 3 archives with 3 new entries and 3 dropped entries, 2 deletions"),
            std::string::npos)
      << result.out;

  payload::Bytes payload_bytes = test_support::ReadBytes(dir / "p.bin");
  EXPECT_EQ(payload_bytes[0], 0);
  EXPECT_EQ(DecodedStream(payload_bytes), payload::BuildPatchStream(FullSourceDescription()));
  EXPECT_FALSE(HoldsPartialFile(dir.path()));
}

TEST(PatchpackBuild, SameSourceGivesSameBytesAndX86SetsTheFilter) {
  TempDir dir;
  WriteFullSource(dir / "one");
  WriteFullSource(dir / "two");
  // Touch the second source in another order; the payload must not notice.
  std::filesystem::remove(dir / "two/files/empty.bin");
  WriteText(dir / "two/files/empty.bin", "");
  for (const char* name : {"one", "two"}) {
    auto result = RunPatchpack("build " + Quoted(dir / name) + " -o " +
                               Quoted(dir / (std::string(name) + ".bin")));
    ASSERT_EQ(result.exit_code, 0) << result.err;
  }
  payload::Bytes one = test_support::ReadBytes(dir / "one.bin");
  EXPECT_EQ(one, test_support::ReadBytes(dir / "two.bin"));

  auto x86 = RunPatchpack("build --x86 " + Quoted(dir / "one") + " -o " + Quoted(dir / "x.bin"));
  ASSERT_EQ(x86.exit_code, 0) << x86.err;
  payload::Bytes x86_payload = test_support::ReadBytes(dir / "x.bin");
  EXPECT_EQ(x86_payload[0], 1);
  EXPECT_EQ(DecodedStream(x86_payload), DecodedStream(one));
}

struct BadSource {
  const char* what;
  std::function<void(const std::filesystem::path&)> spoil;
  const char* expected_error;
};

TEST(PatchpackBuild, RefusesBadSourcesInOneLineAndKeepsTheOldPayload) {
  using std::filesystem::path;
  const BadSource cases[] = {
      {"no version", [](const path& s) { std::filesystem::remove(s / "version.txt"); },
       "has no version.txt"},
      {"not a number", [](const path& s) { WriteText(s / "version.txt", "14a\n"); },
       "version.txt: '14a' is not a whole number"},
      {"too large", [](const path& s) { WriteText(s / "version.txt", "2147483648"); },
       "version.txt: '2147483648' is not a whole number"},
      {"empty version", [](const path& s) { WriteText(s / "version.txt", "\n"); },
       "is not a whole number"},
      {"upper-case entry", [](const path& s) { WriteText(s / "archives/base.zip/Big.txt", ""); },
       "entry name 'Big.txt' has upper-case letters; the installer compares entry names in lower"},
      {"upper-case drop", [](const path& s) { WriteText(s / "archives/base.zip.drop", "OLD"); },
       "archives/base.zip.drop: entry name 'OLD' has upper-case letters"},
      {"nameless archive", [](const path& s) { WriteText(s / "archives/.drop", "a"); },
       "archives/.drop names no archive"},
      {"zero byte", [](const path& s) { WriteText(s / "delete.txt", std::string("a\0b", 3)); },
       "delete.txt: a name holds a 0 byte"},
      {"empty part", [](const path& s) { WriteText(s / "delete.txt", "a//b"); },
       "'a//b' has an empty name between separators"},
      {"outside", [](const path& s) { WriteText(s / "delete.txt", "..\\boot.ini"); },
       "is not a path inside the game folder"},
      {"same target in two cases", [](const path& s) { WriteText(s / "files/Z.TXT", "x"); },
       "duplicate target 'z.txt' from files/Z.TXT and files/z.txt (the game's file system"},
      {"file and archive", [](const path& s) { WriteText(s / "files/base.zip", "x"); },
       "duplicate target 'base.zip' from files/base.zip and archives/base.zip"},
      {"written and deleted", [](const path& s) { WriteText(s / "delete.txt", "data/readme.txt"); },
       "duplicate target 'data\\readme.txt' from files/data/readme.txt and delete.txt"},
      {"dropped twice", [](const path& s) { WriteText(s / "archives/base.zip.drop", "a\na\n"); },
       "'a' listed twice"},
      {"stray file", [](const path& s) { WriteText(s / "archives/notes.txt", ""); },
       "archives/notes.txt: only archive folders"},
      {"typo", [](const path& s) { std::filesystem::rename(s / "files", s / "file"); },
       "unexpected 'file'"},
      {"name too long to stage",
       [](const path& s) { WriteText(s / "files" / std::string(249, 'n'), "x"); },
       "the name is 249 bytes; the installer stages it under a name 7 bytes longer"},
      {"archive name too long to stage",
       [](const path& s) {
         WriteText(s / "archives" / (std::string(245, 'a') + ".zip") / "e", "");
       },
       "the name is 249 bytes"},
      {"folder prefix too long",
       [](const path& s) {
         path folder = s / "files";
         for (int i = 0; i < 5; ++i) folder /= std::string(200, static_cast<char>('a' + i));
         WriteText(folder / "f.txt", "x");
       },
       "the folders above it take 1004 characters; the installer creates at most 999"},
      {"files is a file",
       [](const path& s) {
         std::filesystem::remove_all(s / "files");
         WriteText(s / "files", "");
       },
       "files is a file; it must be a folder"},
      {"archives is a file",
       [](const path& s) {
         std::filesystem::remove_all(s / "archives");
         WriteText(s / "archives", "");
       },
       "archives is a file; it must be a folder"},
      {"delete.txt is a folder",
       [](const path& s) {
         std::filesystem::remove(s / "delete.txt");
         std::filesystem::create_directory(s / "delete.txt");
       },
       "delete.txt is a folder; it must be a file"},
      {"drop list is a folder",
       [](const path& s) { std::filesystem::create_directories(s / "archives/x.zip.drop/a"); },
       "archives/x.zip.drop is a folder; a .drop list must be a file"},
      {"link to a file",
       [](const path& s) { std::filesystem::create_symlink("/etc/passwd", s / "files/passwd"); },
       "files/passwd is a symbolic link; build packs no links"},
      {"link to a folder",
       [](const path& s) { std::filesystem::create_directory_symlink("/etc", s / "files/etc"); },
       "files/etc is a symbolic link"},
      {"link in an archive folder",
       [](const path& s) {
         std::filesystem::create_symlink("/etc/passwd", s / "archives/base.zip/passwd");
       },
       "archives/base.zip/passwd is a symbolic link"},
      {"empty archive folder",
       [](const path& s) { std::filesystem::create_directories(s / "archives/data/new.zip"); },
       "archives/data/new.zip holds no entries and no names to drop"},
      {"4 GiB",
       [](const path& s) {
         WriteText(s / "files/huge.bin", "");
         std::filesystem::resize_file(s / "files/huge.bin", std::uint64_t{1} << 32);
       },
       "files/huge.bin is 4294967296 bytes; a patch carries files of at most 4 GiB - 1 bytes"},
  };
  for (const BadSource& bad : cases) {
    SCOPED_TRACE(bad.what);
    TempDir dir;
    WriteFullSource(dir / "source");
    bad.spoil(dir / "source");
    WriteText(dir / "p.bin", "previous payload");
    auto result = RunPatchpack("build " + Quoted(dir / "source") + " -o " + Quoted(dir / "p.bin"));
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(patchpack_test::IsOneLineError(result)) << result.err;
    EXPECT_NE(result.err.find(bad.expected_error), std::string::npos) << result.err;
    EXPECT_EQ(test_support::ReadText(dir / "p.bin"), "previous payload");
    EXPECT_FALSE(HoldsPartialFile(dir.path()));
  }
}

TEST(PatchpackBuild, EmptySourceBuildsTheSmallestStream) {
  TempDir dir;
  WriteText(dir / "source/version.txt", "0");
  auto result = RunPatchpack("build " + Quoted(dir / "source") + " -o " + Quoted(dir / "p.bin") +
                             " --allow-empty");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(DecodedStream(test_support::ReadBytes(dir / "p.bin")), payload::Bytes(7, 0));
}

TEST(PatchpackBuild, FollowLinksPacksWhatTheLinksPointTo) {
  TempDir dir;
  WriteFullSource(dir / "source");
  WriteText(dir / "outside/readme.txt", "hello");
  std::filesystem::remove(dir / "source/files/data/readme.txt");
  std::filesystem::create_symlink(dir / "outside/readme.txt", dir / "source/files/data/readme.txt");
  auto result = RunPatchpack("build " + Quoted(dir / "source") + " --follow-links -o " +
                             Quoted(dir / "p.bin"));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(DecodedStream(test_support::ReadBytes(dir / "p.bin")),
            payload::BuildPatchStream(FullSourceDescription()));
}

// The output is opened before the source is read or anything compressed, so
// these fail at once and name the path with the system's reason.
TEST(PatchpackBuild, RefusesAnUnwritableOutputBeforeReadingTheSource) {
  TempDir dir;
  WriteFullSource(dir / "source");
  struct Case {
    std::string output;
    std::string expected;
  } cases[] = {
      {(dir / "nodir/p.bin").string(),
       "cannot write " + (dir / "nodir/p.bin").string() + ": No such file or directory"},
      {(dir / "source").string(), "cannot write " + (dir / "source").string() + ": Is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    // A source that would fail late shows the output is checked first.
    auto result = RunPatchpack("build " + Quoted(dir / "missing") + " -o " + Quoted(c.output));
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(patchpack_test::IsOneLineError(result)) << result.err;
    EXPECT_EQ(result.err, "patchpack: " + c.expected + "\n");
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir / "source/files"));
}

TEST(PatchpackBuild, RefusesAPatchThatChangesNothingUnlessAllowed) {
  TempDir dir;
  WriteText(dir / "source/version.txt", "4");
  std::filesystem::create_directories(dir / "source/files/empty/folder");
  auto refused = RunPatchpack("build " + Quoted(dir / "source") + " -o " + Quoted(dir / "p.bin"));
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_TRUE(patchpack_test::IsOneLineError(refused)) << refused.err;
  EXPECT_NE(refused.err.find("the patch would change nothing but curver.txt (--allow-empty"),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "p.bin"));
  EXPECT_FALSE(HoldsPartialFile(dir.path()));

  auto allowed = RunPatchpack("build " + Quoted(dir / "source") +
                              " --allow-empty --output=" + Quoted(dir / "p.bin"));
  EXPECT_EQ(allowed.exit_code, 2) << "--output is no option of build";
  allowed = RunPatchpack("build " + Quoted(dir / "source") + " --allow-empty -o " +
                         Quoted(dir / "p.bin"));
  ASSERT_EQ(allowed.exit_code, 0) << allowed.err;
  payload::Bytes expected(7, 0);
  expected[0] = 4;
  EXPECT_EQ(DecodedStream(test_support::ReadBytes(dir / "p.bin")), expected);
}

// Work of more than a second shows progress on stderr, as plain lines when
// stderr is not a terminal; --quiet shows none.
TEST(PatchpackBuild, ReportsProgressOfLongWorkUnlessQuiet) {
  TempDir dir;
  WriteText(dir / "source/version.txt", "1");
  ASSERT_EQ(test_support::RunCommand("mkdir -p " + Quoted(dir / "source/files") +
                                     " && head -c 6000000 /dev/urandom > " +
                                     Quoted(dir / "source/files/noise.bin"))
                .exit_code,
            0);
  auto shown = RunPatchpack("build " + Quoted(dir / "source") + " -o " + Quoted(dir / "p.bin"));
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  EXPECT_NE(shown.err.find("100% compressing: 6.0 MB of 6.0 MB, "), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find(" s\n"), std::string::npos) << shown.err;
  EXPECT_EQ(shown.err.find('\r'), std::string::npos) << "no bar when stderr is no terminal";

  auto quiet =
      RunPatchpack("build " + Quoted(dir / "source") + " --quiet -o " + Quoted(dir / "p.bin"));
  ASSERT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.err, "");
}

TEST(PatchpackBuild, JsonReportIsOneDocumentWithThePayloadsSha1) {
  TempDir dir;
  WriteFullSource(dir / "source");
  auto result =
      RunPatchpack("build " + Quoted(dir / "source") + " --json -o " + Quoted(dir / "p.bin"));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  WriteText(dir / "report.json", result.out);
  auto checked = test_support::RunCommand(
      "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
      "print(d[\"version\"], [(s[\"name\"], s[\"count\"]) for s in d[\"sections\"]], "
      "d[\"staging_bytes_at_least\"], d[\"payload_sha1\"])' " +
      Quoted(dir / "report.json") + " && sha1sum " + Quoted(dir / "p.bin"));
  ASSERT_EQ(checked.exit_code, 0) << checked.err << result.out;
  // Staging needs the 9 loose bytes and the 7 bytes of new entries.
  std::string first_line = checked.out.substr(0, checked.out.find('\n'));
  EXPECT_EQ(first_line.substr(0, first_line.rfind(' ')),
            "-3 [('loose files', 3), ('archives', 3), ('deletions', 2)] 16");
  std::string sha1 = first_line.substr(first_line.rfind(' ') + 1);
  EXPECT_EQ(checked.out.substr(first_line.size() + 1, 40), sha1);
}

TEST(PatchpackBuild, SummaryGivesTotalsRatioAndSingularCounts) {
  TempDir dir;
  WriteText(dir / "source/version.txt", "1");
  WriteText(dir / "source/files/a.txt", std::string(1000, 'a'));
  WriteText(dir / "source/archives/b.zip/c.txt", "c");
  WriteText(dir / "source/delete.txt", "old.txt");
  auto result = RunPatchpack("build " + Quoted(dir / "source") + " -o " + Quoted(dir / "p.bin"));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.out.find(
                "; 1 loose file, 1 archive with 1 new entry and 0 dropped entries, 1 deletion\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find(" of 1.0 kB ("), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("the player needs at least 1.0 kB free for staging"), std::string::npos)
      << result.out;
}

// The staging line speaks of surviving archive entries only when the patch
// rewrites an archive, and the counts name the entries it drops.
TEST(PatchpackBuild, SummaryCountsDroppedEntriesAndSurvivingOnesOnlyWithArchives) {
  TempDir dir;
  WriteText(dir / "loose/version.txt", "1");
  WriteText(dir / "loose/files/a.txt", "a");
  auto loose = RunPatchpack("build " + Quoted(dir / "loose") + " -o " + Quoted(dir / "l.bin"));
  ASSERT_EQ(loose.exit_code, 0) << loose.err;
  EXPECT_NE(loose.out.find("\nthe player needs at least 1 byte free for staging\n"),
            std::string::npos)
      << loose.out;
  EXPECT_EQ(loose.out.find("surviving"), std::string::npos) << loose.out;

  WriteText(dir / "drops/version.txt", "1");
  WriteText(dir / "drops/archives/b.zip.drop", "x.txt\ny.txt\n");
  auto drops = RunPatchpack("build " + Quoted(dir / "drops") + " -o " + Quoted(dir / "d.bin"));
  ASSERT_EQ(drops.exit_code, 0) << drops.err;
  EXPECT_NE(drops.out.find("; 0 loose files, 1 archive with 0 new entries and 2 dropped entries, "
                           "0 deletions\n"),
            std::string::npos)
      << drops.out;
  EXPECT_NE(drops.out.find("free for staging, plus the surviving entries of each rewritten "
                           "archive\n"),
            std::string::npos)
      << drops.out;
}

TEST(PatchpackBuild, EveryCommandAnswersVersion) {
  for (const char* command : {"--version", "build --version", "inspect --version",
                              "attach --version", "verify --version"}) {
    SCOPED_TRACE(command);
    auto result = RunPatchpack(command);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out.rfind("patchpack ", 0), 0u) << result.out;
    EXPECT_TRUE(result.err.empty());
  }
}

}  // namespace
}  // namespace patchpack
