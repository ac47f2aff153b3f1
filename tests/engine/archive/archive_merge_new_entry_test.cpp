// New entries as the merge deflates them itself, judged against what
// minizip's own level-9 deflate makes of the same bytes; and the check points
// inside large entries.
#include <minizip/zip.h>

#include <string>

#include "archive_merge_support.h"
#include "engine/archive/archive_merge.h"
#include "engine/install_error.h"

namespace engine::test {
namespace {

using payload::ArchiveRecord;

// Text that zlib takes for text, and bytes that it does not.
std::string TextContent() {
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += "line " + std::to_string(i * 7919) + "\r\n";
  return text;
}

std::string BinaryContent(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t state = 12345;
  for (char& byte : bytes) {
    state = state * 1103515245 + 12345;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

// An archive of the given entries written by minizip alone, deflated at
// level 9 or stored.
void MakeMinizipArchive(const std::string& path,
                        const std::vector<std::pair<std::string, std::string>>& entries,
                        int level) {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  ASSERT_NE(zip, nullptr);
  for (const auto& [name, content] : entries) {
    ASSERT_EQ(zipOpenNewFileInZip64(zip, name.c_str(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                                    level == 0 ? 0 : Z_DEFLATED, level, 0),
              ZIP_OK);
    ASSERT_EQ(zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size())),
              ZIP_OK);
    ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
  }
  ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

TEST_F(ArchiveMergeTest, NewEntriesHaveMinizipsBytesAndNoTextAttribute) {
  const std::vector<std::pair<std::string, std::string>> contents = {
      {"text.txt", TextContent()},
      {"noise.bin", BinaryContent(3 << 20)},
      {"empty.txt", ""},
      {"short.txt", "hello"}};
  MakeMinizipArchive("reference.zip", contents, 9);
  const DumpedArchive reference = DumpArchive("reference.zip");
  ASSERT_EQ(reference.entries.size(), 4u);
  // minizip alone marks the text as text: the attribute below is a choice.
  EXPECT_EQ(reference.entries[0].internal_attributes, 1u);

  MakeMinizipArchive("old.zip", {{"kept.dat", "kept"}}, 9);
  ArchiveRecord record{"old.zip", {}, {}};
  for (const auto& [name, content] : contents) record.new_entries.push_back(Entry(name, content));
  ASSERT_TRUE(Merge({record})) << error;
  const DumpedArchive staged = DumpArchive("old.zip.updtmp");
  ASSERT_EQ(staged.entries.size(), 5u);
  for (std::size_t i = 0; i < contents.size(); ++i) {
    const DumpedEntry& entry = staged.entries[i];
    const DumpedEntry& expected = reference.entries[i];
    ExpectNewEntry(entry, contents[i].first, contents[i].second);
    EXPECT_EQ(entry.internal_attributes, 0u) << entry.name;
    EXPECT_EQ(entry.stored_sha1, expected.stored_sha1) << entry.name;
    EXPECT_EQ(entry.compressed_size, expected.compressed_size) << entry.name;
    EXPECT_EQ(entry.crc, expected.crc) << entry.name;
    EXPECT_EQ(entry.size, expected.size) << entry.name;
    EXPECT_EQ(entry.flag, expected.flag) << entry.name;
  }
  EXPECT_TRUE(AcceptedByTools("old.zip.updtmp"));
}

TEST_F(ArchiveMergeTest, SeesACancelWithinTheCopyOfALargeEntry) {
  // 6 MiB stored: six buffers, so five check points inside the entry.
  MakeMinizipArchive("old.zip", {{"small.dat", "small"}, {"large.bin", BinaryContent(6 << 20)}}, 0);
  // The checks before the copy of the large entry: the archive's new entry
  // and the two old entries' own.
  ASSERT_TRUE(Merge({{"old.zip", {Entry("new.txt", "new")}, {}}})) << error;
  EXPECT_EQ(host.checks, 3 + 5);
  EXPECT_TRUE(AcceptedByTools("old.zip.updtmp"));

  ScriptedHost cancelling;
  cancelling.cancel_at_check = 5;
  payload::PatchStream stream = ArchiveSection({{"old.zip", {Entry("new.txt", "new")}, {}}});
  CommitList list;
  StagingProgress progress(cancelling, {});
  try {
    MergeArchives(stream, list, cancelling, progress, NativeFileSystem());
    ADD_FAILURE() << "the merge did not see the cancel";
  } catch (const InstallError& failure) {
    EXPECT_EQ(failure.kind(), InstallError::Silent);
  }
  EXPECT_EQ(cancelling.checks, 5);
}

TEST_F(ArchiveMergeTest, SeesACancelWithinTheDeflateOfALargeNewEntry) {
  MakeMinizipArchive("old.zip", {{"kept.dat", "kept"}}, 9);
  // Noise deflates to a little more than itself, four 1 MiB buffers, of
  // which deflate hands out at least three full before the finish.
  const ArchiveRecord record{"old.zip", {Entry("noise.bin", BinaryContent(4 << 20))}, {}};
  ASSERT_TRUE(Merge({record})) << error;
  EXPECT_GE(host.checks, 1 + 3 + 1);

  ScriptedHost cancelling;
  cancelling.cancel_at_check = 3;
  payload::PatchStream stream = ArchiveSection({record});
  CommitList list;
  StagingProgress progress(cancelling, {});
  EXPECT_THROW(MergeArchives(stream, list, cancelling, progress, NativeFileSystem()), InstallError);
  EXPECT_EQ(cancelling.checks, 3);
}

}  // namespace
}  // namespace engine::test
