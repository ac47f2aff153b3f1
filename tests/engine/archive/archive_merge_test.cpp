// The archive merge's behaviour on archives made by Python's zipfile, judged
// through what zipfile, unzip and 7-Zip read back from the staged archive.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "archive_merge_support.h"
#include "engine/archive/skip_list.h"
#include "fs/faulty_file_system.h"

namespace engine::test {
namespace {

using payload::ArchiveRecord;

void MakeArchive(const std::string& command, const std::string& path) {
  ASSERT_TRUE(Succeeded(RunCommand(ZipTool() + command + " '" + path + "'"))) << command;
}

std::vector<std::string> Names(const DumpedArchive& archive) {
  std::vector<std::string> names;
  for (const DumpedEntry& entry : archive.entries) names.push_back(entry.name);
  return names;
}

int Count(const std::vector<std::string>& calls, const std::string& prefix) {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
    return call.starts_with(prefix);
  }));
}

TEST(SkipListTest, FindsEveryNameAddedAndNothingElse) {
  SkipList list;
  for (const char* name : {"b", "\xE9t\xE9", "a", "ab", "a", "z", "a/b.txt"}) list.Add(name);
  list.Sort();
  for (const char* name : {"a", "ab", "b", "z", "\xE9t\xE9", "a/b.txt"}) {
    EXPECT_TRUE(list.Contains(name)) << name;
  }
  for (const char* name : {"", "aa", "A", "\xE9", "a/b.tx", "zz"}) {
    EXPECT_FALSE(list.Contains(name)) << name;
  }
}

TEST_F(ArchiveMergeTest, WritesNewEntriesFirstThenSurvivorsLowerCasedAndRaw) {
  MakeArchive("python-variety", "old.zip");
  const DumpedArchive old_archive = DumpArchive("old.zip");
  const std::string old_bytes = folder.Read("old.zip");

  // Drop names match lower-cased old names only: Data/Stored.TXT drops nothing.
  ASSERT_TRUE(Merge({{"old.zip",
                      {Entry("replace.me", "new content"), Entry("new/empty.txt", ""),
                       Entry("Upper.txt", "new upper")},
                      {"drop.me", "absent.txt", "Data/Stored.TXT"}}}))
      << error;

  EXPECT_EQ(commit_list, CommitList{"old.zip"});
  EXPECT_EQ(folder.Read("old.zip"), old_bytes);
  EXPECT_TRUE(AcceptedByTools("old.zip.updtmp"));
  const DumpedArchive staged = DumpArchive("old.zip.updtmp");
  EXPECT_EQ(staged.comment_length, 0);
  ASSERT_EQ(Names(staged), (std::vector<std::string>{"replace.me", "new/empty.txt", "Upper.txt",
                                                     "data/stored.txt", "data/deflated.bin",
                                                     "folder/", "upper.txt", "caf\xC3\xA9.txt"}));
  ExpectNewEntry(staged.entries[0], "replace.me", "new content");
  ExpectNewEntry(staged.entries[1], "new/empty.txt", "");
  ExpectNewEntry(staged.entries[2], "Upper.txt", "new upper");
  // Old entries: Data/Stored.TXT, data/deflated.bin, Folder/, replace.me,
  // DROP.me, UPPER.txt, café.txt.
  ExpectCopiedEntry(staged.entries[3], old_archive.entries[0], "data/stored.txt");
  ExpectCopiedEntry(staged.entries[4], old_archive.entries[1], "data/deflated.bin");
  ExpectCopiedEntry(staged.entries[5], old_archive.entries[2], "folder/");
  ExpectCopiedEntry(staged.entries[6], old_archive.entries[5], "upper.txt");
  ExpectCopiedEntry(staged.entries[7], old_archive.entries[6], "caf\xC3\xA9.txt");
}

TEST_F(ArchiveMergeTest, MergingItsOwnOutputKeepsZeroDatesAndOptionBits) {
  MakeArchive("option-bits", "game.zip");
  const DumpedArchive original = DumpArchive("game.zip");
  ASSERT_TRUE(Merge({{"game.zip", {Entry("patched.txt", "patched")}, {}}})) << error;
  std::filesystem::rename("game.zip.updtmp", "game.zip");

  // A record with no entries and no drops copies everything, the entry that
  // the first merge wrote (date 0) included.
  const DumpedArchive once = DumpArchive("game.zip");
  ASSERT_TRUE(Merge({{"game.zip", {}, {}}})) << error;
  EXPECT_TRUE(AcceptedByTools("game.zip.updtmp"));
  const DumpedArchive twice = DumpArchive("game.zip.updtmp");
  ASSERT_EQ(Names(twice),
            (std::vector<std::string>{"patched.txt", "fast.bin", "max.bin", "superfast.bin"}));
  ExpectNewEntry(twice.entries[0], "patched.txt", "patched");
  for (std::size_t i = 1; i < 4; ++i) {
    ExpectCopiedEntry(twice.entries[i], once.entries[i], original.entries[i - 1].name);
    EXPECT_EQ(twice.entries[i].flag, original.entries[i - 1].flag);
  }
}

TEST_F(ArchiveMergeTest, OldArchiveWithoutEntriesGetsJustTheNewOnes) {
  MakeArchive("empty", "empty.zip");
  MakeArchive("empty", "still_empty.zip");
  ASSERT_TRUE(Merge({{"empty.zip", {Entry("a.txt", "a"), Entry("b.txt", "b")}, {"a.txt"}},
                     {"still_empty.zip", {}, {}}}))
      << error;

  EXPECT_EQ(commit_list, (CommitList{"empty.zip", "still_empty.zip"}));
  EXPECT_TRUE(AcceptedByTools("empty.zip.updtmp"));
  const DumpedArchive staged = DumpArchive("empty.zip.updtmp");
  ASSERT_EQ(Names(staged), (std::vector<std::string>{"a.txt", "b.txt"}));
  ExpectNewEntry(staged.entries[1], "b.txt", "b");
  EXPECT_TRUE(DumpArchive("still_empty.zip.updtmp").entries.empty());
}

TEST_F(ArchiveMergeTest, EveryOldEntryIsACancelCheckSkippedOrNot) {
  MakeArchive("python-variety", "old.zip");
  const std::size_t old_entries = DumpArchive("old.zip").entries.size();
  ASSERT_TRUE(Merge({{"old.zip", {Entry("replace.me", "x")}, {"drop.me"}}})) << error;
  EXPECT_EQ(host.checks, static_cast<int>(1 + old_entries));
}

TEST_F(ArchiveMergeTest, CancelStopsAtTheCheckWithBothArchivesClosed) {
  MakeArchive("python-variety", "old.zip");
  // Checks 1 and 2 come before the two new entries, the rest before each
  // old entry.
  for (int cancel_at : {1, 2, 3, 6}) {
    SCOPED_TRACE(cancel_at);
    FaultyFileSystem file_system(NativeFileSystem());
    host.checks = 0;
    host.cancel_at_check = cancel_at;
    commit_list.clear();
    EXPECT_FALSE(Merge({{"old.zip", {Entry("one", "1"), Entry("two", "2")}, {}}}, file_system));
    EXPECT_EQ(error, "Silent");
    EXPECT_EQ(host.checks, cancel_at);
    EXPECT_EQ(commit_list, CommitList{"old.zip"});
    // Both archives, and the reader of the old one during its walk.
    EXPECT_GE(Count(file_system.calls, "ZipOpen"), 2);
    EXPECT_EQ(Count(file_system.calls, "ZipClose"), Count(file_system.calls, "ZipOpen"));
  }
}

TEST_F(ArchiveMergeTest, MissingArchiveIsAnUnknownErrorBeforeAnythingIsStaged) {
  EXPECT_FALSE(Merge({{"missing.zip", {Entry("a.txt", "a")}, {}}}));
  EXPECT_EQ(error, "Unknown");
  EXPECT_EQ(commit_list, CommitList{"missing.zip"});
  EXPECT_FALSE(folder.Exists("missing.zip.updtmp"));
}

TEST_F(ArchiveMergeTest, ArchivesThatCannotBeReadInFullAreUnknownErrors) {
  MakeArchive("python-variety", "whole.zip");
  const std::string whole = folder.Read("whole.zip");
  folder.Write("truncated.zip", whole.substr(0, whole.size() / 2));
  // The second central-directory record loses its signature.
  std::string damaged = whole;
  const std::size_t first = damaged.find("PK\x01\x02");
  damaged[damaged.find("PK\x01\x02", first + 4) + 2] = 'X';
  folder.Write("damaged.zip", damaged);
  // An entry name with a 0 byte inside, in both of its headers.
  std::string zero_in_name = whole;
  for (std::size_t at = 0; (at = zero_in_name.find("replace.me", at)) != std::string::npos;) {
    zero_in_name[at + 7] = '\0';
  }
  folder.Write("zero_in_name.zip", zero_in_name);
  MakeArchive("long-name", "long_name.zip");
  folder.Write("secret.txt", "secret");
  ASSERT_TRUE(Succeeded(RunCommand("zip -q -P password encrypted.zip secret.txt")));

  for (const char* path :
       {"truncated.zip", "damaged.zip", "zero_in_name.zip", "long_name.zip", "encrypted.zip"}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(Merge({{path, {Entry("new.txt", "new")}, {}}}));
    EXPECT_EQ(error, "Unknown");
  }
}

TEST_F(ArchiveMergeTest, EntryWithAnotherMethodIsAWriteError) {
  for (const char* method : {"bzip2", "lzma"}) {
    SCOPED_TRACE(method);
    MakeArchive(std::string("method ") + method, "other.zip");
    EXPECT_FALSE(Merge({{"other.zip", {}, {}}}));
    EXPECT_EQ(error, kWriteError);
  }
}

TEST_F(ArchiveMergeTest, StagedArchiveThatCannotBeCreatedIsAWriteError) {
  MakeArchive("python-variety", "old.zip");
  std::filesystem::create_directory("old.zip.updtmp");
  EXPECT_FALSE(Merge({{"old.zip", {}, {}}}));
  EXPECT_EQ(error, kWriteError);
}

}  // namespace
}  // namespace engine::test
