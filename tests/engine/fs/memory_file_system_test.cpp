// The in-memory file system behaves like a disk where the engine relies on
// it, so that what the fuzz targets and tests see of a run holds on a disk.
#include "fs/memory_file_system.h"

#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <map>
#include <memory>
#include <set>

namespace engine::test {
namespace {

TEST(MemoryFileSystemTest, MatchesPathsAsWindowsDoes) {
  MemoryFileSystem file_system;
  file_system.AddFile("Data/Maps/A.bin", "map");
  EXPECT_EQ(file_system.ReadWholeFile("data\\MAPS\\.\\a.BIN"), "map");
  EXPECT_EQ(file_system.ReadWholeFile("data\\maps\\b.bin"), std::nullopt);
  EXPECT_TRUE(file_system.directories.contains("data/maps"));
}

TEST(MemoryFileSystemTest, CreatesOnlyInExistingFoldersAndNeverOverAFolder) {
  MemoryFileSystem file_system;
  EXPECT_EQ(file_system.OpenForWriting("new\\a.txt"), nullptr);
  EXPECT_TRUE(file_system.MakeDirectory("new"));
  EXPECT_FALSE(file_system.MakeDirectory("NEW"));
  const auto file = file_system.OpenForWriting("new\\a.txt");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->Write(std::vector<std::uint8_t>{'h', 'i'}));
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(file_system.files.at("new/a.txt"), "hi");
  EXPECT_FALSE(file_system.RenameReplacing("new\\a.txt", "new"));
  EXPECT_TRUE(file_system.RenameReplacing("new\\a.txt", "b.txt"));
  EXPECT_EQ(file_system.ReadWholeFile("b.txt"), "hi");
  EXPECT_FALSE(file_system.RemoveFile("new\\a.txt"));
  EXPECT_EQ(file_system.changes.size(), 7u);
}

TEST(MemoryFileSystemTest, RefusesAndRecordsChangesOutsideTheGameFolder) {
  MemoryFileSystem file_system;
  file_system.AddFile("a.txt", "a");
  EXPECT_EQ(file_system.OpenForWriting("..\\a.txt"), nullptr);
  EXPECT_FALSE(file_system.MakeDirectory("C:\\x"));
  EXPECT_FALSE(file_system.RemoveFile("\\a.txt"));
  EXPECT_FALSE(file_system.RenameReplacing("a.txt", "/a.txt"));
  EXPECT_EQ(file_system.outside_paths,
            (std::vector<std::string>{"..\\a.txt", "C:\\x", "\\a.txt", "/a.txt"}));
  EXPECT_EQ(file_system.files.at("a.txt"), "a");
  EXPECT_FALSE(MemoryFileSystem::LeavesGameFolder("data\\..name"));
}

TEST(MemoryFileSystemTest, ServesMinizipBothWays) {
  MemoryFileSystem file_system;
  file_system.AddFile("data/keep.txt", "");
  zlib_filefunc64_def functions = file_system.ZipFileFunctions();
  zipFile zip = zipOpen2_64("DATA\\t.zip", APPEND_STATUS_CREATE, nullptr, &functions);
  ASSERT_NE(zip, nullptr);
  const std::string content(5000, 'z');
  ASSERT_EQ(zipOpenNewFileInZip64(zip, "e.txt", nullptr, nullptr, 0, nullptr, 0, nullptr,
                                  Z_DEFLATED, 9, 0),
            ZIP_OK);
  ASSERT_EQ(zipWriteInFileInZip(zip, content.data(), content.size()), ZIP_OK);
  ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
  ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);

  unzFile reader = unzOpen2_64("data\\T.ZIP", &functions);
  ASSERT_NE(reader, nullptr);
  ASSERT_EQ(unzLocateFile(reader, "e.txt", 0), UNZ_OK);
  ASSERT_EQ(unzOpenCurrentFile(reader), UNZ_OK);
  std::string read(content.size() + 1, '\0');
  EXPECT_EQ(unzReadCurrentFile(reader, read.data(), read.size()), static_cast<int>(content.size()));
  EXPECT_EQ(unzCloseCurrentFile(reader), UNZ_OK);
  unzClose(reader);
  EXPECT_EQ(read.substr(0, content.size()), content);
}

TEST(MemoryFileSystemTest, ReadsNothingPastTheEndWithoutAnError) {
  // As a C stream reads: the archive layers above take a short read without
  // an error for the end of the file, and stop asking there.
  MemoryFileSystem file_system;
  file_system.AddFile("a.zip", "0123456789");
  zlib_filefunc64_def functions = file_system.ZipFileFunctions();
  voidpf stream = functions.zopen64_file(functions.opaque, "a.zip",
                                         ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
  ASSERT_NE(stream, nullptr);
  char bytes[16];
  ASSERT_EQ(functions.zseek64_file(functions.opaque, stream, 8, ZLIB_FILEFUNC_SEEK_SET), 0);
  EXPECT_EQ(functions.zread_file(functions.opaque, stream, bytes, sizeof bytes), 2u);
  EXPECT_EQ(functions.zread_file(functions.opaque, stream, bytes, 1), 0u);
  ASSERT_EQ(functions.zseek64_file(functions.opaque, stream, 100, ZLIB_FILEFUNC_SEEK_SET), 0);
  EXPECT_EQ(functions.zread_file(functions.opaque, stream, bytes, 1), 0u);
  EXPECT_EQ(functions.zerror_file(functions.opaque, stream), 0);
  // A stream whose file has gone fails.
  EXPECT_TRUE(file_system.RemoveFile("a.zip"));
  EXPECT_EQ(functions.zread_file(functions.opaque, stream, bytes, 1), 0u);
  EXPECT_NE(functions.zerror_file(functions.opaque, stream), 0);
  functions.zclose_file(functions.opaque, stream);
}

void WriteFile(MemoryFileSystem& file_system, const std::string& path, const std::string& text) {
  const auto file = file_system.OpenForWriting(path);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Write(std::vector<std::uint8_t>(text.begin(), text.end())));
  ASSERT_TRUE(file->Close());
}

using Files = std::map<std::string, std::string>;
using Cut = MemoryFileSystem::Cut;

Files AfterCut(MemoryFileSystem file_system, Cut cut, std::uint32_t seed = 0) {
  std::mt19937 random(seed);
  file_system.CutPower(cut, random);
  return file_system.files;
}

TEST(MemoryFileSystemTest, ACutKeepsContentsOnlyOnceFlushedAndNamesOnlyOnceTheirFolderIs) {
  MemoryFileSystem file_system;
  file_system.AddFile("data/old.txt", "old");
  WriteFile(file_system, "data\\both.txt", "both");
  EXPECT_TRUE(file_system.FlushToDisk("data\\both.txt"));
  WriteFile(file_system, "data\\named.txt", "named");
  EXPECT_TRUE(file_system.FlushFolderOf("data\\named.txt"));
  WriteFile(file_system, "data\\contents.txt", "contents");
  EXPECT_TRUE(file_system.FlushToDisk("data\\contents.txt"));
  EXPECT_TRUE(file_system.RemoveFile("data\\old.txt"));

  EXPECT_EQ(AfterCut(file_system, Cut::kKeepNothing),
            (Files{{"data/old.txt", "old"}, {"data/both.txt", "both"}, {"data/named.txt", ""}}));
  EXPECT_EQ(AfterCut(file_system, Cut::kKeepEverything), file_system.files);
  EXPECT_FALSE(file_system.FlushFolderOf("missing\\a.txt"));

  // After the cut all of it is on the disk.
  MemoryFileSystem restarted = file_system;
  std::mt19937 random(7);
  restarted.CutPower(Cut::kRandom, random);
  EXPECT_EQ(AfterCut(restarted, Cut::kKeepNothing), restarted.files);
}

TEST(MemoryFileSystemTest, ACutTakesAFolderWhoseNameIsNotFlushedWithEverythingInIt) {
  MemoryFileSystem file_system;
  EXPECT_TRUE(file_system.MakeDirectory("new"));
  WriteFile(file_system, "new\\a.txt", "a");
  EXPECT_TRUE(file_system.FlushToDisk("new\\a.txt"));
  EXPECT_TRUE(file_system.FlushFolderOf("new\\a.txt"));
  MemoryFileSystem lost = file_system;
  std::mt19937 random;
  lost.CutPower(Cut::kKeepNothing, random);
  EXPECT_EQ(lost.files, Files{});
  EXPECT_EQ(lost.directories, std::set<std::string>{});

  EXPECT_TRUE(file_system.FlushFolderOf("new"));
  EXPECT_EQ(AfterCut(file_system, Cut::kKeepNothing), (Files{{"new/a.txt", "a"}}));
}

TEST(MemoryFileSystemTest, ARenameCutBeforeItsFlushIsKeptWholeOrNotAtAll) {
  MemoryFileSystem file_system;
  file_system.AddFile("x.txt", "old");
  WriteFile(file_system, "x.txt.updtmp", "new");
  EXPECT_TRUE(file_system.FlushToDisk("x.txt.updtmp"));
  std::optional<MemoryFileSystem> inside;
  file_system.between_change_and_flush = [&] { inside = file_system; };
  EXPECT_TRUE(file_system.RenameReplacing("x.txt.updtmp", "X.TXT"));
  ASSERT_TRUE(inside.has_value());
  inside->between_change_and_flush = nullptr;

  std::set<std::string> outcomes;
  for (std::uint32_t seed = 0; seed < 64; ++seed) {
    const Files files = AfterCut(*inside, Cut::kRandom, seed);
    ASSERT_TRUE(files.contains("x.txt")) << "seed " << seed;
    outcomes.insert(files.at("x.txt"));
  }
  EXPECT_EQ(outcomes, (std::set<std::string>{"old", "new"}));
  // Once the call has returned, its flush has made the new name durable.
  EXPECT_EQ(AfterCut(file_system, Cut::kKeepNothing), (Files{{"x.txt", "new"}}));
}

TEST(MemoryFileSystemTest, ACutMayTearWhatWasWrittenButNotFlushed) {
  MemoryFileSystem file_system;
  WriteFile(file_system, "a.txt", "0123456789");
  EXPECT_TRUE(file_system.FlushFolderOf("a.txt"));
  std::set<std::string> outcomes;
  for (std::uint32_t seed = 0; seed < 64; ++seed) {
    outcomes.insert(AfterCut(file_system, Cut::kRandom, seed).at("a.txt"));
  }
  EXPECT_TRUE(outcomes.contains("")) << "the contents as the disk had them";
  EXPECT_TRUE(outcomes.contains("0123456789")) << "the contents as written";
  EXPECT_GT(outcomes.size(), 2u) << "a first part of what was written";
}

TEST(MemoryFileSystemTest, FollowsNoLinkAndTreatsOneAtTheEndAsItself) {
  MemoryFileSystem file_system;
  file_system.AddFile("data/a.bin", "a");
  file_system.AddLink("data/out", "../outside");
  file_system.AddLink("data/a.bin.updbak", "/outside/victim");
  // Nothing through a link as a folder.
  EXPECT_EQ(file_system.OpenForWriting("data\\out\\x.txt"), nullptr);
  EXPECT_FALSE(file_system.MakeDirectory("data\\out\\sub"));
  EXPECT_FALSE(file_system.RenameReplacing("data\\a.bin", "data\\out\\a.bin"));
  EXPECT_EQ(file_system.ReadWholeFile("data\\a.bin.updbak"), std::nullopt);
  EXPECT_FALSE(file_system.LinkFile("data\\a.bin", "data\\a.bin.updbak"));
  // The link itself at the end of a path.
  EXPECT_TRUE(file_system.Exists("data\\out"));
  EXPECT_EQ(file_system.ProbeTarget("data\\out"), TargetState::kReplaceable);
  EXPECT_TRUE(file_system.RenameReplacing("data\\a.bin.updbak", "data\\moved"));
  EXPECT_EQ(file_system.links.at("data/moved"), "/outside/victim");
  EXPECT_TRUE(file_system.RenameReplacing("data\\a.bin", "data\\moved"));
  EXPECT_FALSE(file_system.links.contains("data/moved"));
  EXPECT_EQ(file_system.files.at("data/moved"), "a");
  EXPECT_NE(file_system.OpenForWriting("data\\out"), nullptr);
  EXPECT_FALSE(file_system.links.contains("data/out"));
  file_system.AddLink("lock", "/outside/lock");
  EXPECT_TRUE(file_system.RemoveFile("lock"));
  EXPECT_EQ(file_system.links, (std::map<std::string, std::string>{}));
  EXPECT_EQ(file_system.outside_paths, std::vector<std::string>{});
}

}  // namespace
}  // namespace engine::test
