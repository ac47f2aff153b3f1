// Whole runs over payloads from the payload writer, in a game folder on the
// real disk: what ends up on disk and what the user is shown, for every
// outcome of a run.
#include "engine/run_installation.h"

#include <algorithm>

#include "faulty_file_system.h"
#include "installation_test.h"
#include "zip_contents.h"

namespace engine::test {
namespace {

using patchpack::AppendTrailer;
using patchpack::BuildPatchStream;
using patchpack::BuildPayload;
using Calls = std::vector<std::string>;

// Three loose files (one replaced through differently cased folders, one new
// in new folders, one emptied), an archive that gains an entry, replaces one,
// drops one and keeps one, and deletions of a file, a missing file and a
// folder. A run passes eight cancel tests: three loose files, two new and
// three old archive entries.
PatchDescription TypicalPatch() {
  PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {Entry("DATA\\Maps\\a.bin", "new a"), Entry("new\\dir\\b.txt", "bee"),
                       Entry("readme.txt", "")};
  patch.archives = {
      {"Data\\pack.zip", {Entry("e.txt", "new e"), Entry("f.txt", "new f")}, {"old.txt"}}};
  patch.deletions = {"old.dat", "missing.dat", "data"};
  return patch;
}

class RunInstallationTest : public InstallationTest {
 protected:
  // The game as installed before the typical patch.
  void InstallGame() {
    folder.Write("data/maps/a.bin", "old a");
    folder.Write("readme.txt", "old readme");
    folder.Write("old.dat", "obsolete");
    folder.Write("keep.txt", "kept");
    WriteZip("data/pack.zip", {{"F.TXT", "old f"}, {"old.txt", "obsolete"}, {"keep.txt", "kept"}});
  }
};

constexpr int kTypicalChecks = 8;
const ZipEntries kNewArchive = {{"e.txt", "new e"}, {"f.txt", "new f"}, {"keep.txt", "kept"}};

TEST_F(RunInstallationTest, SuccessReplacesAddsAndDeletesFilesAndWritesTheRecord) {
  InstallGame();
  FaultyFileSystem watched(NativeFileSystem());
  Run(BuildPayload(BuildPatchStream(TypicalPatch())), watched);

  EXPECT_EQ(host.calls, SucceededCalls(kTypicalChecks));
  EXPECT_EQ(ReadZip("data/pack.zip"), kNewArchive);
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
  // and no target is removed ahead of its replacement.
  const auto& calls = watched.calls;
  const auto first_rename = std::find_if(calls.begin(), calls.end(), [](const std::string& c) {
    return c.starts_with("RenameReplacing");
  });
  EXPECT_EQ(std::count_if(calls.begin(), first_rename,
                          [](const std::string& c) { return c.starts_with("FlushToDisk"); }),
            4);
  EXPECT_EQ(std::count_if(calls.begin(), first_rename,
                          [](const std::string& c) { return c.starts_with("RemoveFile"); }),
            0);
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

struct PayloadFailure {
  std::string name;
  std::optional<Bytes> payload;
  std::string error;
};

// A payload made from a valid one by changing its body and recomputing the
// trailer, so that only the change itself can be at fault.
Bytes Rebuilt(Bytes payload, void (*change)(Bytes& body)) {
  payload.resize(payload.size() - 20);
  change(payload);
  return AppendTrailer(payload);
}

std::vector<PayloadFailure> PayloadFailures() {
  const Bytes good = BuildPayload(BuildPatchStream(TypicalPatch()));
  Bytes flipped = good;
  flipped[3] ^= 0x10;
  Bytes bad_trailer = good;
  bad_trailer.back() ^= 0x01;
  return {
      {"Missing", std::nullopt, kUnknownError},
      {"TwentyBytes", Bytes(20, 0), kUnknownError},
      {"TwentyOneBytes", Bytes(21, 0), kCorrupted},
      {"BitFlippedInHeader", flipped, kCorrupted},
      {"TrailerAltered", bad_trailer, kCorrupted},
      {"BodyOfThirteenBytes", AppendTrailer(Bytes(good.begin(), good.begin() + 13)), kUnknownError},
      {"SizeOverFourGiB", Rebuilt(good, [](Bytes& body) { body[10] = 1; }), kUnknownError},
      {"UnknownFilter", Rebuilt(good, [](Bytes& body) { body[0] = 2; }), "LZMA Decompress Error"},
      {"DataCutShort", Rebuilt(good, [](Bytes& body) { body.resize(body.size() - 8); }),
       "LZMA Decompress Error"},
  };
}

class PayloadFailureTest : public RunInstallationTest,
                           public ::testing::WithParamInterface<PayloadFailure> {};

TEST_P(PayloadFailureTest, IsShownBeforeAnythingIsTouched) {
  InstallGame();
  folder.Write("curver.txt", "14\r\nonline");
  const auto before = folder.Files();
  if (GetParam().payload) {
    Run(*GetParam().payload);
  } else {
    RunWithoutPayload();
  }
  EXPECT_EQ(host.calls, (Calls{"ShowError: " + GetParam().error, "CloseDialog"}));
  EXPECT_EQ(folder.Files(), before);
  EXPECT_EQ(folder.Directories(), (Calls{"data", "data/maps"}));
}

INSTANTIATE_TEST_SUITE_P(EachKind, PayloadFailureTest, ::testing::ValuesIn(PayloadFailures()),
                         [](const auto& info) { return info.param.name; });

TEST_F(RunInstallationTest, WriteErrorOnTheThirdOfFiveFilesLeavesTheGameAsItWas) {
  PatchDescription patch;
  patch.version = 14;
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}) {
    folder.Write(name, std::string("old ") + name);
    patch.loose_files.push_back(Entry(name, std::string("new ") + name));
  }
  // A folder where the third staged file belongs makes its creation fail.
  folder.Write("c.txt.updtmp/blocker", "");
  const auto before = folder.Files();
  Run(patch);

  Calls expected = {"SetStatusText: " + kInstalling};
  expected.insert(expected.end(), 3, "IsCancelRequested");
  expected.push_back("ShowError: " + kWriteError);
  expected.push_back("CloseDialog");
  EXPECT_EQ(host.calls, expected);
  EXPECT_EQ(folder.Files(), before);
}

TEST_F(RunInstallationTest, FailedRenameKeepsEarlierCommitsAndLaterTargets) {
  PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {Entry("a.txt", "new a"), Entry("b.txt", "new b"), Entry("c.txt", "new c")};
  patch.deletions = {"old.dat"};
  folder.Write("a.txt", "old a");
  folder.Write("b.txt/inside", "a folder cannot be replaced by a file");
  folder.Write("c.txt", "old c");
  folder.Write("old.dat", "obsolete");
  Run(patch);

  Calls expected = {"SetStatusText: " + kInstalling};
  expected.insert(expected.end(), 3, "IsCancelRequested");
  expected.push_back("ShowError: " + kUnknownError);
  expected.push_back("CloseDialog");
  EXPECT_EQ(host.calls, expected);
  // Atomic replacement leaves the old b in place, so its staged copy is not
  // the last copy of anything and goes with the others.
  const std::map<std::string, std::string> after = {
      {"a.txt", "new a"},
      {"b.txt/inside", "a folder cannot be replaced by a file"},
      {"c.txt", "old c"},
      {"old.dat", "obsolete"}};
  EXPECT_EQ(folder.Files(), after);
}

TEST_F(RunInstallationTest, FailedRenameOfAnAddedFileKeepsItsOnlyCopy) {
  PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {Entry("a.txt", "new a"), Entry("added.txt", "added"),
                       Entry("c.txt", "new c")};
  folder.Write("a.txt", "old a");
  folder.Write("c.txt", "old c");
  FaultyFileSystem faulty(NativeFileSystem());
  faulty.fail_call = "RenameReplacing added.txt";
  Run(BuildPayload(BuildPatchStream(patch)), faulty);

  EXPECT_EQ(host.Errors(), (Calls{kUnknownError}));
  const std::map<std::string, std::string> after = {
      {"a.txt", "new a"}, {"added.txt.updtmp", "added"}, {"c.txt", "old c"}};
  EXPECT_EQ(folder.Files(), after);
}

TEST_F(RunInstallationTest, BytesAfterTheLastSectionAreReportedAfterInstalling) {
  InstallGame();
  Bytes stream = BuildPatchStream(TypicalPatch());
  stream.push_back(0);
  Run(BuildPayload(stream));

  Calls expected = SucceededCalls(kTypicalChecks);
  expected.resize(1 + kTypicalChecks);
  expected.push_back("ShowError: " + kUnknownError);
  expected.push_back("CloseDialog");
  EXPECT_EQ(host.calls, expected);
  EXPECT_EQ(folder.Read("data/maps/a.bin"), "new a");
  EXPECT_EQ(folder.Read("curver.txt"), "14\r\n");
  EXPECT_FALSE(folder.Exists("old.dat"));
}

TEST_F(RunInstallationTest, StreamCutInsideAFileIsRefusedWithoutReadingPastIt) {
  InstallGame();
  folder.Write("curver.txt", "13");
  const auto before = folder.Files();
  Bytes stream = BuildPatchStream(TypicalPatch());
  // Cut inside the content of the second file: its size promises more.
  const std::string marker = "bee";
  const auto at = std::search(stream.begin(), stream.end(), marker.begin(), marker.end());
  stream.erase(at + 1, stream.end());
  Run(BuildPayload(stream));

  EXPECT_EQ(host.Errors(), (Calls{kUnknownError}));
  EXPECT_EQ(host.calls.back(), "CloseDialog");
  EXPECT_EQ(folder.Files(), before);
}

TEST_F(RunInstallationTest, SameLooseFileRunsCleanlyInAFolderLeftByAnAbortedRun) {
  InstallGame();
  // A staged copy left behind earlier is truncated, not appended to.
  folder.Write("readme.txt.updtmp", "leftover of an earlier run");
  Run(TypicalPatch());
  EXPECT_EQ(host.calls, SucceededCalls(kTypicalChecks));
  EXPECT_EQ(folder.Read("readme.txt"), "");
  EXPECT_TRUE(folder.StagedLeftovers().empty());
}

TEST_F(RunInstallationTest, MissingArchiveIsAnUnknownErrorBeforeAnythingChanges) {
  InstallGame();
  std::filesystem::remove("data/pack.zip");
  const auto before = folder.Files();
  Run(TypicalPatch());

  Calls expected = {"SetStatusText: " + kInstalling};
  expected.insert(expected.end(), 3, "IsCancelRequested");
  expected.push_back("ShowError: " + kUnknownError);
  expected.push_back("CloseDialog");
  EXPECT_EQ(host.calls, expected);
  EXPECT_EQ(folder.Files(), before);
}

}  // namespace
}  // namespace engine::test
