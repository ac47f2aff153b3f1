// Removing many files at once: in line, in the order given, on a file system
// that takes calls from one thread; from several threads on the disk; and
// in both cases the result names exactly the files removed, in that order.
#include "engine/file_removal.h"

#include <gtest/gtest.h>

#include "fs/memory_file_system.h"
#include "game_folder.h"

namespace engine::test {
namespace {

using Paths = std::vector<std::string>;

TEST(FileRemovalTest, InLineTheFilesGoInTheOrderGivenAndOnlyTheRemovedAreReturned) {
  MemoryFileSystem memory;
  for (const char* name : {"a", "b", "c", "d"}) memory.AddFile(name, name);
  EXPECT_EQ(RemoveFiles({"a", "missing", "c", "b"}, memory), (Paths{"a", "c", "b"}));
  EXPECT_EQ(memory.changes,
            (Paths{"RemoveFile a", "RemoveFile missing", "RemoveFile c", "RemoveFile b"}));
  EXPECT_EQ(memory.files.size(), 1u);
  EXPECT_TRUE(RemoveFiles({}, memory).empty());
}

TEST(FileRemovalTest, OnTheDiskEveryFileGoesAndTheResultKeepsTheOrderGiven) {
  GameFolder folder;
  Paths paths, expected;
  for (int i = 0; i < 21; ++i) {
    const std::string name = "f" + std::to_string(i);
    if (i % 7 != 3) {
      folder.Write("old/" + name, name);
      expected.push_back("old\\" + name);
    }
    paths.push_back("old\\" + name);
  }
  folder.Write("old/kept", "kept");
  EXPECT_EQ(RemoveFiles(paths, NativeFileSystem()), expected);
  EXPECT_EQ(folder.Files(), (std::map<std::string, std::string>{{"old/kept", "kept"}}));
}

}  // namespace
}  // namespace engine::test
