// Whole runs over payloads from the payload writer, in a game folder on the
// real disk: what ends up on disk and what the user is shown when a run
// succeeds, is refused at a question or is cancelled.
#include "engine/run_installation.h"

#include <algorithm>
#include <memory>
#include <new>

#include "engine/install_error.h"
#include "fs/faulty_file_system.h"
#include "typical_game.h"

namespace engine::test {
namespace {

using payload::BuildPatchStream;
using payload::BuildPayload;
using Calls = std::vector<std::string>;
using RunInstallationTest = TypicalGameTest;

TEST_F(RunInstallationTest, SuccessReplacesAddsAndDeletesFilesAndWritesTheRecord) {
  InstallGame();
  FaultyFileSystem watched(NativeFileSystem());
  Run(BuildPayload(BuildPatchStream(TypicalPatch())), watched);

  EXPECT_EQ(host.calls, SucceededCalls(kTypicalChecks));
  EXPECT_EQ(ReadZip("data/pack.zip"), kTypicalNewArchive);
  std::map<std::string, std::string> files = folder.Files();
  files.erase("data/pack.zip");
  const std::map<std::string, std::string> expected = {{"data/maps/a.bin", "new a"},
                                                       {"new/dir/b.txt", "bee"},
                                                       {"readme.txt", ""},
                                                       {"keep.txt", "kept"},
                                                       {"curver.txt", "14\r\n"}};
  EXPECT_EQ(files, expected);
  // The patch's DATA\Maps found the existing data/maps rather than making a
  // second folder beside it.
  EXPECT_EQ(folder.Directories(), (Calls{"data", "data/maps", "new", "new/dir"}));

  // Every staged copy reaches the disk before the first target is replaced,
  // and no target is removed ahead of its replacement. The journal's rename
  // into place comes before, and is no target's.
  const auto& calls = watched.calls;
  const auto first_rename = std::find_if(calls.begin(), calls.end(), [](const std::string& c) {
    return c.starts_with("RenameReplacing") && c != "RenameReplacing updcommit.lst";
  });
  EXPECT_EQ(std::count_if(calls.begin(), first_rename,
                          [](const std::string& c) {
                            return c.starts_with("FlushToDisk") &&
                                   c != "FlushToDisk updcommit.lst.updtmp";
                          }),
            4);
  EXPECT_EQ(std::count_if(calls.begin(), first_rename,
                          [](const std::string& c) { return c.starts_with("RemoveFile"); }),
            0);
}

// The fuzz targets' way in: the stream handed over already decoded.
TEST_F(RunInstallationTest, ADecodedStreamInstallsAsItsPayloadDoes) {
  InstallGame();
  const Bytes stream = BuildPatchStream(TypicalPatch());
  const auto load_stream = [&] {
    DecodedStream decoded{std::make_unique<std::uint8_t[]>(stream.size()),
                          static_cast<std::uint32_t>(stream.size())};
    std::copy(stream.begin(), stream.end(), decoded.block.get());
    return decoded;
  };
  EXPECT_EQ(RunInstallation(host, NativeFileSystem(), StreamLoader(load_stream)), 0);

  EXPECT_EQ(host.calls, SucceededCalls(kTypicalChecks));
  EXPECT_EQ(ReadZip("data/pack.zip"), kTypicalNewArchive);
  EXPECT_EQ(folder.Files().at("curver.txt"), "14\r\n");
  EXPECT_EQ(folder.Files().at("data/maps/a.bin"), "new a");
}

TEST_F(RunInstallationTest, AStreamLoaderThatFailsEndsTheRunLikeAFailedDecoding) {
  InstallGame();
  const std::map<std::string, std::string> before = folder.Files();
  EXPECT_EQ(RunInstallation(host, NativeFileSystem(), StreamLoader([]() -> DecodedStream {
                              throw InstallError(u"LZMA Decompress Error");
                            })),
            0);
  EXPECT_EQ(host.calls, (Calls{"ShowError: LZMA Decompress Error", "CloseDialog"}));
  host.calls.clear();
  EXPECT_EQ(RunInstallation(host, NativeFileSystem(),
                            StreamLoader([]() -> DecodedStream { throw std::bad_alloc(); })),
            0);
  EXPECT_EQ(host.calls, (Calls{"ShowError: " + kUnknownError, "CloseDialog"}));
  EXPECT_EQ(folder.Files(), before);
}

TEST_F(RunInstallationTest, SevenByteStreamOnlyWritesTheRecord) {
  PatchDescription patch;
  patch.version = 14;
  ASSERT_EQ(BuildPatchStream(patch).size(), 7u);
  host.cancel_at_check = 1;  // no check point is reached
  Run(patch);

  EXPECT_EQ(host.calls, SucceededCalls(0));
  EXPECT_EQ(folder.Files(), (std::map<std::string, std::string>{{"curver.txt", "14\r\n"}}));
}

struct QuestionCase {
  std::string record;
  std::string question;
};

class VersionQuestionTest : public RunInstallationTest,
                            public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(VersionQuestionTest, YesInstallsAndKeepsTheTag) {
  InstallGame();
  folder.Write("curver.txt", GetParam().record);
  host.answers = {true};
  Run(TypicalPatch());

  Calls expected = {"AskYesNo: " + GetParam().question + " -> yes"};
  for (const std::string& call : SucceededCalls(kTypicalChecks)) expected.push_back(call);
  EXPECT_EQ(host.calls, expected);
  EXPECT_EQ(folder.Read("curver.txt"), "14\r\nonline");
  EXPECT_EQ(folder.Read("data/maps/a.bin"), "new a");
}

TEST_P(VersionQuestionTest, NoChangesNothing) {
  InstallGame();
  folder.Write("curver.txt", GetParam().record);
  const auto before = folder.Files();
  host.answers = {false};
  Run(TypicalPatch());

  EXPECT_EQ(host.calls, (Calls{"AskYesNo: " + GetParam().question + " -> no", "CloseDialog"}));
  EXPECT_EQ(folder.Files(), before);
  EXPECT_EQ(folder.Directories(), (Calls{"data", "data/maps"}));
}

INSTANTIATE_TEST_SUITE_P(BothQuestions, VersionQuestionTest,
                         ::testing::Values(QuestionCase{"14\r\nonline", kAlreadyInstalled},
                                           QuestionCase{"15 online", kNewerInstalled}));

TEST_F(RunInstallationTest, OlderInstalledVersionAsksNothing) {
  InstallGame();
  folder.Write("curver.txt", "13\r\nonline");
  Run(TypicalPatch());
  EXPECT_EQ(host.calls, SucceededCalls(kTypicalChecks));
  EXPECT_EQ(folder.Read("curver.txt"), "14\r\nonline");
}

TEST_F(RunInstallationTest, OtherEditionIsRefusedBeforeAnyQuestion) {
  InstallGame();
  folder.Write("curver.txt", "14\r\nOnline");
  const auto before = folder.Files();
  Run(TypicalPatch());

  EXPECT_EQ(host.calls, (Calls{"ShowError: " + kEnglishOnly, "CloseDialog"}));
  EXPECT_EQ(folder.Files(), before);
}

class CancelTest : public RunInstallationTest, public ::testing::WithParamInterface<int> {};

TEST_P(CancelTest, CancelAtACheckPointLeavesTheGameAsItWas) {
  InstallGame();
  folder.Write("curver.txt", "13");
  const auto before = folder.Files();
  host.cancel_at_check = GetParam();
  Run(TypicalPatch());

  Calls expected = {"SetStatusText: " + kInstalling};
  expected.insert(expected.end(), GetParam(), "IsCancelRequested");
  expected.push_back("CloseDialog");
  EXPECT_EQ(host.calls, expected);
  EXPECT_EQ(folder.Files(), before);
  // Folders made for staging stay.
  const bool staged_second = GetParam() > 2;
  EXPECT_EQ(folder.Exists("new/dir"), staged_second);
}

// Loose files, new archive entries and old archive entries.
INSTANTIATE_TEST_SUITE_P(EachCheckPoint, CancelTest, ::testing::Range(1, kTypicalChecks + 1));

TEST_F(RunInstallationTest, SameLooseFileRunsCleanlyInAFolderLeftByAnAbortedRun) {
  InstallGame();
  // A staged copy left behind earlier is truncated, not appended to.
  folder.Write("readme.txt.updtmp", "leftover of an earlier run");
  Run(TypicalPatch());
  EXPECT_EQ(host.calls, SucceededCalls(kTypicalChecks));
  EXPECT_EQ(folder.Read("readme.txt"), "");
  EXPECT_TRUE(folder.StagedLeftovers().empty());
}

}  // namespace
}  // namespace engine::test
