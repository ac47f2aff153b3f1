// Whole runs that fail, in a game folder on the real disk: the one error the
// user is shown, and what is left on disk, for each way a run can fail.
#include "engine/run_installation.h"

#include <algorithm>
#include <filesystem>
#include <new>

#include "fs/faulty_file_system.h"
#include "typical_game.h"
#include "zip_contents.h"

namespace engine::test {
namespace {

using payload::AppendTrailer;
using payload::BuildPatchStream;
using payload::BuildPayload;
using Calls = std::vector<std::string>;
using RunFailureTest = TypicalGameTest;

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

class PayloadFailureTest : public RunFailureTest,
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

TEST_F(RunFailureTest, WriteErrorOnTheThirdOfFiveFilesLeavesTheGameAsItWas) {
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

TEST_F(RunFailureTest, TargetThatIsAFolderFailsTheRunBeforeAnyFileChanges) {
  PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {Entry("a.txt", "new a"), Entry("b.txt", "new b"), Entry("c.txt", "new c")};
  patch.deletions = {"old.dat"};
  folder.Write("a.txt", "old a");
  folder.Write("b.txt/inside", "a folder cannot be replaced by a file");
  folder.Write("c.txt", "old c");
  folder.Write("old.dat", "obsolete");
  folder.Write("curver.txt", "13\r\nonline");
  const auto before = folder.Files();
  Run(patch);

  Calls expected = {"SetStatusText: " + kInstalling};
  expected.insert(expected.end(), 3, "IsCancelRequested");
  expected.push_back("ShowError: " + kUnknownError);
  expected.push_back("CloseDialog");
  EXPECT_EQ(host.calls, expected);
  // Every target is checked before the first is replaced, so a.txt, ahead
  // of the folder in the list, is still the old one.
  EXPECT_EQ(folder.Files(), before);
}

TEST_F(RunFailureTest, FailedRenameRestoresEveryTargetAlreadyReplaced) {
  PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {Entry("a.txt", "new a"), Entry("added.txt", "added"),
                       Entry("c.txt", "new c")};
  patch.archives = {{"Data\\pack.zip", {Entry("e.txt", "new e")}, {}}};
  folder.Write("a.txt", "old a");
  folder.Write("c.txt", "old c");
  folder.Write("curver.txt", "13\r\nonline");
  WriteZip("data/pack.zip", {{"keep.txt", "kept"}});
  const auto before = folder.Files();
  // The last rename of all fails, when every loose file is new already.
  FaultyFileSystem faulty(NativeFileSystem());
  faulty.fail_call = "RenameReplacing Data\\pack.zip";
  Run(BuildPayload(BuildPatchStream(patch)), faulty);

  EXPECT_EQ(host.Errors(), (Calls{kUnknownError}));
  EXPECT_EQ(host.calls.back(), "CloseDialog");
  // No staged copy, backup or journal is left either.
  EXPECT_EQ(folder.Files(), before);
}

TEST_F(RunFailureTest, BytesAfterTheLastSectionAreReportedAfterInstalling) {
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

TEST_F(RunFailureTest, StreamCutInsideAFileIsRefusedWithoutReadingPastIt) {
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

TEST_F(RunFailureTest, MissingArchiveIsAnUnknownErrorBeforeAnythingChanges) {
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

// Runs out of memory at the second file it opens for writing, as an
// allocation inside the platform's open would.
class ExhaustedAtSecondOpen final : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) override {
    if (++opens_ == 2) throw std::bad_alloc();
    return ForwardingFileSystem::OpenForWriting(path);
  }

 private:
  int opens_ = 0;
};

TEST_F(RunFailureTest, AllocationFailureIsAnUnknownErrorAndDiscardsWhatWasStaged) {
  InstallGame();
  const auto before = folder.Files();
  ExhaustedAtSecondOpen exhausted(NativeFileSystem());
  Run(BuildPayload(BuildPatchStream(TypicalPatch())), exhausted);

  EXPECT_EQ(host.Errors(), (Calls{kUnknownError}));
  EXPECT_EQ(host.calls.back(), "CloseDialog");
  // The first staged file is gone again: the game is as it was.
  EXPECT_EQ(folder.Files(), before);
}

TEST_F(RunFailureTest, TargetNamedTwiceIsRefusedBeforeAnyFileChanges) {
  // Found by the run's fuzz target: the second backup of the one file
  // overwrote the first, and the restore brought back the first new copy.
  PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {Entry("a.txt", "new a"), Entry("data\\game.ini", "first"),
                       Entry("DATA\\GAME.INI", "second")};
  folder.Write("a.txt", "old a");
  folder.Write("data/game.ini", "old ini");
  const auto before = folder.Files();
  Run(BuildPayload(BuildPatchStream(patch)));

  EXPECT_EQ(host.Errors(), (Calls{kUnknownError}));
  EXPECT_EQ(folder.Files(), before);
}

}  // namespace
}  // namespace engine::test
