// The POSIX file system finds paths the way Windows would: backslashes
// separate, and existing names match regardless of ASCII letter case.
#include <minizip/unzip.h>

#include <sys/stat.h>

#include <filesystem>

#include "engine/fs/file_system.h"
#include "installation_test.h"
#include "zip_contents.h"

namespace engine::test {
namespace {

class PosixFileSystemTest : public InstallationTest {
 protected:
  FileSystem& file_system = NativeFileSystem();

  void WriteThrough(const std::string& path, const std::string& content) {
    std::unique_ptr<WritableFile> file = file_system.OpenForWriting(path);
    ASSERT_TRUE(file) << path;
    ASSERT_TRUE(file->Write(AsBytes(content)));
    ASSERT_TRUE(file->Close());
  }
};

TEST_F(PosixFileSystemTest, ExistingComponentsMatchInAnyCaseNewOnesKeepTheirSpelling) {
  folder.Write("Data/Maps/x.bin", "old");
  WriteThrough("DATA\\MAPS\\X.BIN", "new");
  EXPECT_EQ(folder.Read("Data/Maps/x.bin"), "new");
  EXPECT_EQ(file_system.ReadWholeFile("data\\maps\\x.bin"), "new");

  EXPECT_TRUE(file_system.MakeDirectory("data\\NewDir"));
  WriteThrough("DATA\\newdir\\File.txt", "added");
  EXPECT_EQ(folder.Files(), (std::map<std::string, std::string>{
                                {"Data/Maps/x.bin", "new"}, {"Data/NewDir/File.txt", "added"}}));
  // The folder exists now, in whatever case it is asked for.
  EXPECT_FALSE(file_system.MakeDirectory("DATA\\NEWDIR"));
}

TEST_F(PosixFileSystemTest, AnExactMatchWinsOverOtherCasesAndTiesGoByByteOrder) {
  folder.Write("a.txt", "lower");
  folder.Write("A.TXT", "upper");
  EXPECT_EQ(file_system.ReadWholeFile("a.txt"), "lower");
  EXPECT_EQ(file_system.ReadWholeFile("A.TXT"), "upper");
  EXPECT_EQ(file_system.ReadWholeFile("A.txt"), "upper");  // "A.TXT" < "a.txt"
}

TEST_F(PosixFileSystemTest, RenameReplacesTheTargetAndRemoveLeavesFolders) {
  folder.Write("Target.bin", "old");
  folder.Write("target.bin.updtmp", "new");
  EXPECT_TRUE(file_system.RenameReplacing("TARGET.BIN.updtmp", "TARGET.BIN"));
  EXPECT_EQ(folder.Files(), (std::map<std::string, std::string>{{"Target.bin", "new"}}));
  EXPECT_FALSE(file_system.RenameReplacing("gone.updtmp", "TARGET.BIN"));
  EXPECT_EQ(folder.Read("Target.bin"), "new");

  folder.Write("dir/inside", "");
  EXPECT_FALSE(file_system.RemoveFile("DIR"));
  EXPECT_TRUE(file_system.RemoveFile("Dir\\Inside"));
  EXPECT_FALSE(file_system.RemoveFile("dir\\inside"));
  EXPECT_TRUE(folder.Exists("dir"));
}

TEST_F(PosixFileSystemTest, FlushAndReadReportMissingFiles) {
  folder.Write("here.bin", "x");
  EXPECT_TRUE(file_system.FlushToDisk("HERE.BIN"));
  EXPECT_FALSE(file_system.FlushToDisk("missing.bin"));
  // A folder's names flush whether the name given is still there or not.
  EXPECT_TRUE(file_system.FlushFolderOf("missing.bin"));
  EXPECT_TRUE(file_system.FlushFolderOf("HERE.BIN"));
  EXPECT_FALSE(file_system.FlushFolderOf("no\\such\\folder.bin"));
  EXPECT_EQ(file_system.ReadWholeFile("missing.bin"), std::nullopt);
  EXPECT_EQ(file_system.OpenForWriting("no\\such\\folder.bin"), nullptr);
}

TEST_F(PosixFileSystemTest, ArchivesOpenedThroughTheZipLayerResolveTheSameWay) {
  WriteZip("data/pack.zip", {{"a.txt", "alpha"}});
  zlib_filefunc64_def functions = file_system.ZipFileFunctions();
  unzFile archive = unzOpen2_64("DATA\\Pack.ZIP", &functions);
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(unzLocateFile(archive, "a.txt", 0), UNZ_OK);
  unzClose(archive);
  EXPECT_EQ(unzOpen2_64("data\\other.zip", &functions), nullptr);
}

TEST_F(PosixFileSystemTest, StagedFilesAndArchivesAreOurOwnNeverWrittenThroughALink) {
  // Anyone who can make a file in the game folder could aim links at staged
  // names, and the installer runs with administrator rights.
  folder.Write("outside/victim.txt", "not the installer's");
  const std::filesystem::path victim = std::filesystem::absolute("outside/victim.txt");
  folder.Write("sv.exe", "old exe");
  WriteZip("data/pack.zip", {{"keep.txt", "kept"}});
  std::filesystem::create_symlink(victim, "sv.exe.updtmp");
  std::filesystem::create_symlink(victim, "data/pack.zip.updtmp");
  PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {Entry("sv.exe", "new exe")};
  patch.archives = {{"data\\pack.zip", {Entry("new.txt", "new")}, {}}};
  Run(patch);

  EXPECT_EQ(host.Errors(), std::vector<std::string>{});
  EXPECT_EQ(folder.Read("outside/victim.txt"), "not the installer's");
  EXPECT_FALSE(std::filesystem::is_symlink("sv.exe"));
  EXPECT_FALSE(std::filesystem::is_symlink("data/pack.zip"));
  EXPECT_EQ(folder.Read("sv.exe"), "new exe");
  EXPECT_EQ(ReadZip("data/pack.zip"), (ZipEntries{{"new.txt", "new"}, {"keep.txt", "kept"}}));
}

TEST_F(PosixFileSystemTest, CreationReplacesALeftoverButNotAFolder) {
  folder.Write("a.updtmp", "a longer leftover of an earlier run");
  WriteThrough("a.updtmp", "new");
  EXPECT_EQ(folder.Read("a.updtmp"), "new");
  folder.Write("b.updtmp/inside", "");
  EXPECT_EQ(file_system.OpenForWriting("b.updtmp"), nullptr);
  EXPECT_TRUE(folder.Exists("b.updtmp/inside"));
}

TEST_F(PosixFileSystemTest, ProbeLinkAndSizeSeeTheDiskAsItIs) {
  folder.Write("File.bin", "12345");
  folder.Write("dir/inside", "");
  EXPECT_EQ(file_system.ProbeTarget("FILE.BIN"), TargetState::kReplaceable);
  EXPECT_EQ(file_system.ProbeTarget("dir"), TargetState::kBlocked);
  EXPECT_EQ(file_system.ProbeTarget("missing.bin"), TargetState::kMissing);
  EXPECT_EQ(file_system.FileSize("file.bin"), 5u);
  EXPECT_EQ(file_system.FileSize("missing.bin"), std::nullopt);
  EXPECT_TRUE(file_system.FreeSpace().has_value());

  EXPECT_TRUE(file_system.LinkFile("file.bin", "file.bin.updbak"));
  EXPECT_FALSE(file_system.LinkFile("file.bin", "file.bin.updbak"));
  EXPECT_EQ(folder.Read("file.bin.updbak"), "12345");
  // A rename between two names of one file changes nothing, as POSIX says;
  // the commit's restore relies on removing the backup after it.
  EXPECT_TRUE(file_system.RenameReplacing("file.bin.updbak", "file.bin"));
  EXPECT_TRUE(folder.Exists("file.bin.updbak"));
}

// The unit FreeSpace gives is the one the volume counts a file's blocks in:
// a file one byte longer than a unit takes two of them.
TEST_F(PosixFileSystemTest, FreeSpaceUnitIsWhatTheVolumeAllocates) {
  const std::optional<VolumeSpace> space = file_system.FreeSpace();
  ASSERT_TRUE(space.has_value());
  ASSERT_GE(space->unit, 512u);
  WriteThrough("unit.bin", std::string(space->unit + 1, 'u'));
  ASSERT_TRUE(file_system.FlushToDisk("unit.bin"));
  struct stat status;
  ASSERT_EQ(stat("unit.bin", &status), 0);
  EXPECT_EQ(std::uint64_t(status.st_blocks) * 512, 2 * space->unit);
}

}  // namespace
}  // namespace engine::test
