// The shared helpers themselves: every suite trusts them to capture, write
// and clean up exactly, so a fault here would hide faults there.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "tests/support/bytes.h"
#include "tests/support/command.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace test_support {
namespace {

namespace fs = std::filesystem;

TEST(TempDir, IsNewAndGoesWithEverythingInIt) {
  fs::path kept;
  {
    TempDir dir("support-test");
    kept = dir.path();
    EXPECT_TRUE(fs::is_directory(kept));
    EXPECT_TRUE(fs::is_empty(kept));
    EXPECT_EQ(dir / "a", kept / "a");
    WriteText(dir / "a" / "b.txt", "x");
    fs::permissions(kept, fs::perms::owner_write, fs::perm_options::remove);
    TempDir other("support-test");
    EXPECT_NE(other.path(), kept);
  }
  EXPECT_FALSE(fs::exists(kept));
}

TEST(Files, WriteMakesParentsAndReadGivesBackEveryByte) {
  TempDir dir;
  const Bytes bytes = {0, 255, '\r', '\n', 26, 0};
  WriteBytes(dir / "x" / "y" / "z.bin", bytes);
  EXPECT_EQ(ReadBytes(dir / "x" / "y" / "z.bin"), bytes);
  WriteText(dir / "x" / "y" / "z.bin", "short");
  EXPECT_EQ(ReadText(dir / "x" / "y" / "z.bin"), "short");
  EXPECT_THROW(ReadBytes(dir / "missing"), std::runtime_error);
  EXPECT_THROW(WriteText(dir / "x" / "y", "a folder"), std::runtime_error);
}

TEST(Files, SnapshotListsRegularFilesByRelativePath) {
  TempDir dir;
  WriteText(dir / "a.txt", "A");
  WriteText(dir / "sub" / "b.txt", "B");
  fs::create_directories(dir / "empty");
  const std::map<std::string, std::string> expected = {{"a.txt", "A"}, {"sub/b.txt", "B"}};
  EXPECT_EQ(Snapshot(dir.path()), expected);
}

TEST(Command, CapturesBothStreamsOfAWholeListAndTheExitCode) {
  const CommandResult result = RunCommand("echo one; echo two >&2 && printf three; exit 3");
  EXPECT_EQ(result.exit_code, 3);
  EXPECT_EQ(result.out, "one\nthree");
  EXPECT_EQ(result.err, "two\n");
  EXPECT_FALSE(Succeeded(result));
  EXPECT_TRUE(Succeeded(RunCommand("true # a trailing comment")));
}

TEST(Command, QuotedPathsReachTheCommandUnchanged) {
  TempDir dir;
  const fs::path odd = dir / "it's a $HOME `x` \"file\"";
  WriteText(odd, "content");
  const CommandResult result = RunCommand("cat " + Quoted(odd));
  EXPECT_TRUE(Succeeded(result));
  EXPECT_EQ(result.out, "content");
}

TEST(Bytes, RandomBytesRepeatForASeedAndDifferAcrossSeeds) {
  EXPECT_EQ(RandomBytes(1000, 7), RandomBytes(1000, 7));
  EXPECT_NE(RandomBytes(1000, 7), RandomBytes(1000, 8));
  EXPECT_EQ(RandomBytes(0, 7).size(), 0u);
}

}  // namespace
}  // namespace test_support
