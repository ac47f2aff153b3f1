// Archives beyond the limits of the 32-bit zip records: more than 65,535
// entries, and (when PI_LARGE_ZIP_TESTS is set, since it writes 8 GiB) an
// entry over 4 GiB followed by one that lies beyond 4 GiB.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive_merge_support.h"
#include "engine/archive/zip64_end_record.h"
#include "fs/faulty_file_system.h"

namespace engine::test {
namespace {

std::string EntryName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "e%05d.txt", i);
  return name;
}

TEST_F(ArchiveMergeTest, MoreThan65535EntriesAreAllCopied) {
  ASSERT_TRUE(Succeeded(RunCommand(ZipTool() + "many many.zip 70000")));
  const payload::ArchiveRecord record{
      "many.zip",
      {Entry(EntryName(0), "replaced first"), Entry(EntryName(69999), "replaced last")},
      {EntryName(12345)}};
  ASSERT_TRUE(Merge({record})) << error;

  EXPECT_TRUE(AcceptedByTools("many.zip.updtmp"));
  const DumpedArchive staged = DumpArchive("many.zip.updtmp");
  ASSERT_EQ(staged.entries.size(), 2u + 70000 - 3);
  ExpectNewEntry(staged.entries[0], EntryName(0), "replaced first");
  ExpectNewEntry(staged.entries[1], EntryName(69999), "replaced last");
  std::size_t at = 2;
  for (int i = 1; i < 69999; ++i) {
    if (i == 12345) continue;
    ASSERT_EQ(staged.entries[at].name, EntryName(i));
    ASSERT_EQ(staged.entries[at].content, ShownContent(std::to_string(i)));
    ++at;
  }
}

// minizip reports an error instead of the end after exactly 65,535 entries,
// where its end record's count reads as "more than fit here".
TEST_F(ArchiveMergeTest, Exactly65535EntriesAreAllCopied) {
  ASSERT_TRUE(Succeeded(RunCommand(ZipTool() + "many edge.zip 65535")));
  ASSERT_TRUE(Merge({{"edge.zip", {}, {}}})) << error;
  EXPECT_TRUE(AcceptedByTools("edge.zip.updtmp"));
  const DumpedArchive staged = DumpArchive("edge.zip.updtmp");
  ASSERT_EQ(staged.entries.size(), 65535u);
  EXPECT_EQ(staged.entries.back().name, EntryName(65534));
}

// Archives of more than 65,535 entries without Zip64 end records: minizip
// 1.1 writes the count as 0xFFFF, some old writers cut it to 16 bits.
TEST_F(ArchiveMergeTest, CountsThatDoNotFitSixteenBitsAreWalkedToTheEndOrRefused) {
  ASSERT_TRUE(Succeeded(RunCommand(ZipTool() + "count-in-16-bits marked.zip 66000")));
  ASSERT_TRUE(Merge({{"marked.zip", {}, {}}})) << error;
  EXPECT_TRUE(AcceptedByTools("marked.zip.updtmp"));
  const DumpedArchive staged = DumpArchive("marked.zip.updtmp");
  ASSERT_EQ(staged.entries.size(), 66000u);
  EXPECT_EQ(staged.entries.back().name, EntryName(65999));

  ASSERT_TRUE(Succeeded(RunCommand(ZipTool() + "count-wrapped wrapped.zip 66000")));
  EXPECT_FALSE(Merge({{"wrapped.zip", {}, {}}}));
  EXPECT_EQ(error, "Unknown");
}

// The Zip64 end record that the merge adds once minizip has closed an
// archive of 65,535 entries or more, tried here on a small one.
TEST_F(ArchiveMergeTest, Zip64EndRecordIsAddedOnceAndEveryFailureReported) {
  ASSERT_TRUE(Succeeded(RunCommand(ZipTool() + "many plain.zip 3")));
  const std::string plain = folder.Read("plain.zip");

  FaultyFileSystem counting(NativeFileSystem());
  ASSERT_TRUE(CompleteZip64End(counting.ZipFileFunctions(), "plain.zip", 3));
  const std::string completed = folder.Read("plain.zip");
  EXPECT_EQ(completed.size(), plain.size() + 56 + 20);
  EXPECT_NE(completed.find("PK\x06\x06"), std::string::npos);
  EXPECT_TRUE(AcceptedByTools("plain.zip"));
  EXPECT_EQ(DumpArchive("plain.zip").entries.size(), 3u);
  ASSERT_TRUE(CompleteZip64End(NativeFileSystem().ZipFileFunctions(), "plain.zip", 3));
  EXPECT_EQ(folder.Read("plain.zip"), completed) << "added twice";

  for (std::size_t n = 1; n <= counting.calls.size(); ++n) {
    SCOPED_TRACE(counting.calls[n - 1]);
    folder.Write("plain.zip", plain);
    FaultyFileSystem faulty(NativeFileSystem());
    faulty.fail_at = static_cast<int>(n);
    EXPECT_FALSE(CompleteZip64End(faulty.ZipFileFunctions(), "plain.zip", 3));
  }
}

TEST_F(ArchiveMergeTest, EntriesOverAndBeyond4GiBAreCopied) {
  if (std::getenv("PI_LARGE_ZIP_TESTS") == nullptr) {
    GTEST_SKIP() << "set PI_LARGE_ZIP_TESTS=1 to write 8 GiB";
  }
  ASSERT_TRUE(Succeeded(RunCommand(ZipTool() + "huge huge.zip")));
  const DumpedArchive old_archive = DumpArchive("huge.zip");
  const payload::ArchiveRecord record{"huge.zip", {Entry("new.txt", "small and new")}, {}};
  ASSERT_TRUE(Merge({record})) << error;
  EXPECT_TRUE(AcceptedByTools("huge.zip.updtmp"));
  ExpectMergedFrom(old_archive, DumpArchive("huge.zip.updtmp"), record);
}

}  // namespace
}  // namespace engine::test
