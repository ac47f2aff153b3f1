// The free-space check before staging, with the volume's figure set
// through the file-system seam.
#include "engine/free_space.h"

#include "fs/faulty_file_system.h"
#include "typical_game.h"

namespace engine::test {
namespace {

using payload::BuildPatchStream;
using payload::BuildPayload;

constexpr std::uint64_t kUnit = 4096;

// A volume with a given number of free bytes, handed out in units of kUnit.
class VolumeOfSize final : public ForwardingFileSystem {
 public:
  VolumeOfSize(FileSystem& base, std::uint64_t free) : ForwardingFileSystem(base), free_(free) {}
  std::optional<VolumeSpace> FreeSpace() override { return VolumeSpace{free_, kUnit}; }

 private:
  std::uint64_t free_;
};

std::uint64_t Units(std::uint64_t bytes) { return (bytes + kUnit - 1) / kUnit * kUnit; }

class FreeSpaceTest : public TypicalGameTest {
 protected:
  // Staging the typical patch writes its loose files (5 + 3 + 0 bytes: two
  // units, the empty file none), and the archive: the old one and its new
  // entries (5 + 5 bytes).
  std::uint64_t Needed() { return 2 * kUnit + Units(ArchiveBytes()); }
  std::uint64_t ArchiveBytes() { return std::filesystem::file_size("data/pack.zip") + 10; }
};

TEST_F(FreeSpaceTest, TooLittleIsTheWriteErrorBeforeAnythingIsWritten) {
  InstallGame();
  const auto before = folder.Files();
  VolumeOfSize full(NativeFileSystem(), Needed() - 1);
  Run(BuildPayload(BuildPatchStream(TypicalPatch())), full);

  EXPECT_EQ(host.calls, (std::vector<std::string>{"SetStatusText: " + kInstalling,
                                                  "ShowError: " + kWriteError, "CloseDialog"}));
  EXPECT_EQ(folder.Files(), before);
  // Not even a folder for a staged file was made.
  EXPECT_FALSE(folder.Exists("new"));
}

TEST_F(FreeSpaceTest, JustEnoughInstalls) {
  InstallGame();
  VolumeOfSize exact(NativeFileSystem(), Needed());
  Run(BuildPayload(BuildPatchStream(TypicalPatch())), exact);
  EXPECT_EQ(host.calls, SucceededCalls(kTypicalChecks));
}

// 150 files of 100 bytes are 15,000 bytes, but each takes a whole unit.
TEST_F(FreeSpaceTest, ManyTinyFilesTakeAUnitEach) {
  PatchDescription patch;
  patch.version = 2;
  for (int i = 0; i < 150; ++i) {
    patch.loose_files.push_back(
        Entry("tiny\\" + std::to_string(i) + ".txt", std::string(100, 't')));
  }
  const Bytes payload = BuildPayload(BuildPatchStream(patch));

  VolumeOfSize short_of_one(NativeFileSystem(), 150 * kUnit - 1);
  Run(payload, short_of_one);
  EXPECT_EQ(host.Errors(), std::vector<std::string>{kWriteError});
  EXPECT_EQ(folder.Files(), (std::map<std::string, std::string>{}));

  host = ScriptedHost();
  VolumeOfSize enough(NativeFileSystem(), 150 * kUnit);
  Run(payload, enough);
  EXPECT_EQ(host.Errors(), std::vector<std::string>{});
  EXPECT_EQ(folder.Read("tiny/149.txt"), std::string(100, 't'));
}

TEST_F(FreeSpaceTest, MeasureStagingTakesEachFileAndLeavesTheCursor) {
  InstallGame();
  Bytes stream_bytes = BuildPatchStream(TypicalPatch());
  auto block = std::make_unique<std::uint8_t[]>(stream_bytes.size());
  std::copy(stream_bytes.begin(), stream_bytes.end(), block.get());
  payload::PatchStream stream(std::move(block), static_cast<std::uint32_t>(stream_bytes.size()),
                              [] { throw std::runtime_error("overrun"); });
  stream.ReadU32();
  const StagedSizes sizes = MeasureStaging(stream, NativeFileSystem());
  EXPECT_EQ(sizes.loose_files, (std::vector<std::uint64_t>{5, 3, 0}));
  EXPECT_EQ(sizes.archives, std::vector<std::uint64_t>{ArchiveBytes()});
  EXPECT_EQ(StagingParts(sizes), (std::vector<std::uint64_t>{8, ArchiveBytes()}));
  EXPECT_EQ(SpaceTaken(sizes, kUnit), Needed());
  EXPECT_EQ(SpaceTaken(sizes, 1), 8 + ArchiveBytes());
  EXPECT_EQ(stream.offset(), 4u);
  EXPECT_EQ(stream.ReadName(), "DATA\\Maps\\a.bin");
}

}  // namespace
}  // namespace engine::test
