// The POSIX file system finds paths the way Windows would: backslashes
// separate, and existing names match regardless of ASCII letter case.
#include <minizip/unzip.h>

#include "engine/file_system.h"
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

}  // namespace
}  // namespace engine::test
