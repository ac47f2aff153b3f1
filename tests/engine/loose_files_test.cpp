#include "engine/loose_files.h"

#include "fs/faulty_file_system.h"
#include "installation_test.h"

namespace engine::test {
namespace {

// Records the folders asked for and makes none, so that any path, even an
// absolute one, can be tried.
class DirectoryRecorder final : public FileSystem {
 public:
  std::vector<std::string> made;

  bool MakeDirectory(const std::string& path) override {
    made.push_back(path);
    return false;
  }
  std::unique_ptr<WritableFile> OpenForWriting(const std::string&) override { return nullptr; }
  std::optional<std::string> ReadWholeFile(const std::string&) override { return std::nullopt; }
  bool Exists(const std::string&) override { return false; }
  std::optional<std::uint64_t> FileSize(const std::string&) override { return std::nullopt; }
  std::optional<VolumeSpace> FreeSpace() override { return std::nullopt; }
  TargetState ProbeTarget(const std::string&) override { return TargetState::kBlocked; }
  bool FlushToDisk(const std::string&) override { return false; }
  bool FlushFolderOf(const std::string&) override { return false; }
  bool RemoveFile(const std::string&) override { return false; }
  bool LinkFile(const std::string&, const std::string&) override { return false; }
  bool RenameReplacing(const std::string&, const std::string&) override { return false; }
  zlib_filefunc64_def ZipFileFunctions() override { return {}; }
};

std::vector<std::string> FoldersFor(const std::string& path) {
  DirectoryRecorder recorder;
  CreatePathDirectories(path, recorder);
  return recorder.made;
}

TEST(CreatePathDirectoriesTest, MakesEachFolderLeftToRightButNeverTheLastComponent) {
  using Folders = std::vector<std::string>;
  EXPECT_EQ(FoldersFor("data\\maps\\a.bin.updtmp"), (Folders{"data", "data\\maps"}));
  EXPECT_EQ(FoldersFor("D:\\x\\y"), (Folders{"D:\\x"}));
  EXPECT_EQ(FoldersFor("\\top\\file"), (Folders{"\\top"}));
  EXPECT_EQ(FoldersFor("file.txt"), Folders{});
  EXPECT_EQ(FoldersFor(""), Folders{});

  const std::string longest(kMaxDirectoryPrefix, 'a');
  EXPECT_EQ(FoldersFor(longest + "\\f"), Folders{longest});
  // One character more is refused whole: not even the short folders before
  // it are made.
  EXPECT_EQ(FoldersFor("a\\" + std::string(kMaxDirectoryPrefix - 1, 'b') + "\\f"), Folders{});
}

class StageLooseFilesTest : public InstallationTest {};

TEST_F(StageLooseFilesTest, FolderPrefixBeyondTheLimitFailsAtTheOpenAndMakesNothing) {
  PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {Entry(std::string(600, 'a') + "\\" + std::string(600, 'b') + "\\f", "x")};
  Run(patch);
  EXPECT_EQ(host.Errors(), std::vector<std::string>{kWriteError});
  EXPECT_TRUE(folder.Files().empty());
  EXPECT_TRUE(folder.Directories().empty());
}

}  // namespace
}  // namespace engine::test
