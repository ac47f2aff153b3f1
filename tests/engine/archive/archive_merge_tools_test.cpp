// Old archives as Info-ZIP zip, Python's zipfile and 7-Zip write them, merged
// and read back by unzip, 7-Zip and zipfile: every staged archive must pass
// all three, with the exact bytes and metadata of each entry.
#include <filesystem>
#include <string>

#include "archive_merge_support.h"

namespace engine::test {
namespace {

using payload::ArchiveRecord;

// Game files with upper-case names, compressible and incompressible, and an
// empty one, in the current folder under src/.
void LayOutSources(const GameFolder& folder) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "Line " + std::to_string(i) + " of the readme\n";
  std::string noise;
  std::uint32_t state = 12345;
  for (int i = 0; i < 50000; ++i) {
    state = state * 1103515245 + 12345;
    noise += static_cast<char>(state >> 24);
  }
  folder.Write("src/Readme.TXT", text);
  folder.Write("src/Maps/Rand.BIN", noise);
  folder.Write("src/Maps/Sub/Level1.MAP", text.substr(0, 3000));
  folder.Write("src/Empty.txt", "");
}

void Shell(const std::string& command) { ASSERT_TRUE(Succeeded(RunCommand(command))) << command; }

// The record that every archive gets: one entry replaced by an upper-case
// original's lower-cased name, one dropped, one added, plus a long one.
ArchiveRecord RecordFor(const std::string& path) {
  std::string long_content;
  for (int i = 0; i < 20000; ++i) long_content += std::to_string(i * 7919 % 1000);
  return {path,
          {Entry("readme.txt", "the new readme"), Entry("added/new.bin", long_content),
           Entry("empty.new", "")},
          {"maps/sub/level1.map", "not/there"}};
}

class ArchiveMergeToolsTest : public ArchiveMergeTest {
 protected:
  void MergeAndCheck(const std::string& path) {
    ASSERT_TRUE(AcceptedByTools(path)) << "the old archive itself";
    const DumpedArchive old_archive = DumpArchive(path);
    ASSERT_FALSE(old_archive.entries.empty());
    const ArchiveRecord record = RecordFor(path);
    ASSERT_TRUE(Merge({record})) << error;
    const std::string staged = path + ".updtmp";
    EXPECT_TRUE(AcceptedByTools(staged));
    ExpectMergedFrom(old_archive, DumpArchive(staged), record);
  }
};

TEST_F(ArchiveMergeToolsTest, InfoZipArchiveWithStoredDeflatedDirectoriesCommentsAndAPipe) {
  LayOutSources(folder);
  // -1 and -9 set different option bits; -0 stores; -r adds directory
  // entries; the Unix extra fields are written by default; -c and -z read
  // the entry comments and the archive comment; "-" stores a pipe.
  Shell("cd src && zip -q -1 ../info.zip Readme.TXT");
  Shell("cd src && zip -q -9 -r ../info.zip Maps");
  Shell("cd src && zip -q -0 ../info.zip Empty.txt");
  Shell("cd src && printf 'one\\ntwo\\n' | zip -q -c ../info.zip Readme.TXT Empty.txt");
  Shell("echo 'archive comment' | zip -q -z info.zip");
  Shell("printf 'piped data %.0s' $(seq 100) | zip -q info.zip -");
  MergeAndCheck("info.zip");
}

TEST_F(ArchiveMergeToolsTest, InfoZipArchiveWrittenToAPipeHasDataDescriptors) {
  LayOutSources(folder);
  Shell("cd src && zip -q -r - Readme.TXT Maps Empty.txt | cat > ../streamed.zip");
  const DumpedArchive old_archive = DumpArchive("streamed.zip");
  ASSERT_NE(old_archive.entries[0].flag & 0x0008, 0u) << "no data descriptor";
  MergeAndCheck("streamed.zip");
}

TEST_F(ArchiveMergeToolsTest, PythonArchiveWithExtraFieldsCommentsAndAUtf8Name) {
  Shell(ZipTool() + "python-variety python.zip");
  MergeAndCheck("python.zip");
}

TEST_F(ArchiveMergeToolsTest, PythonArchiveStreamedWithDataDescriptors) {
  Shell(ZipTool() + "streamed | cat > descriptors.zip");
  MergeAndCheck("descriptors.zip");
}

TEST_F(ArchiveMergeToolsTest, SevenZipArchivesDeflatedAndStored) {
  LayOutSources(folder);
  Shell("cd src && 7z a -tzip -mx=9 ../seven.zip Readme.TXT Maps Empty.txt");
  MergeAndCheck("seven.zip");
  Shell("cd src && 7z a -tzip -mm=Copy ../copy.zip Readme.TXT Maps Empty.txt");
  MergeAndCheck("copy.zip");
}

TEST_F(ArchiveMergeToolsTest, ArchiveBehindAStubIsCopiedInFull) {
  // A self-extracting archive: bytes in front of the zip, whose offsets
  // count from the zip's own start. minizip finds its entries by the
  // distance between the central directory and the end record.
  LayOutSources(folder);
  Shell("cd src && zip -q -r ../plain.zip Readme.TXT Maps Empty.txt");
  Shell("head -c 1000 /dev/urandom > stub.bin && cat stub.bin plain.zip > stubbed.zip");
  const DumpedArchive old_archive = DumpArchive("plain.zip");
  ASSERT_FALSE(old_archive.entries.empty());
  const ArchiveRecord record = RecordFor("stubbed.zip");
  ASSERT_TRUE(Merge({record})) << error;
  EXPECT_TRUE(AcceptedByTools("stubbed.zip.updtmp"));
  ExpectMergedFrom(old_archive, DumpArchive("stubbed.zip.updtmp"), record);
}

}  // namespace
}  // namespace engine::test
