// The free-space check before staging, with the volume's figure set
// through the file-system seam.
#include "engine/free_space.h"

#include "fs/faulty_file_system.h"
#include "typical_game.h"

namespace engine::test {
namespace {

using payload::BuildPatchStream;
using payload::BuildPayload;

// A volume with a given number of free bytes.
class VolumeOfSize final : public ForwardingFileSystem {
 public:
  VolumeOfSize(FileSystem& base, std::uint64_t free) : ForwardingFileSystem(base), free_(free) {}
  std::optional<std::uint64_t> FreeSpace() override { return free_; }

 private:
  std::uint64_t free_;
};

class FreeSpaceTest : public TypicalGameTest {
 protected:
  // Staging the typical patch writes its loose files (5 + 3 + 0 bytes), the
  // old archive and the archive's new entries (5 + 5 bytes).
  std::uint64_t Needed() { return 8 + std::filesystem::file_size("data/pack.zip") + 10; }
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

TEST_F(FreeSpaceTest, StagingBytesCountsFilesOldArchivesAndNewEntriesAndLeavesTheCursor) {
  InstallGame();
  Bytes stream_bytes = BuildPatchStream(TypicalPatch());
  auto block = std::make_unique<std::uint8_t[]>(stream_bytes.size());
  std::copy(stream_bytes.begin(), stream_bytes.end(), block.get());
  payload::PatchStream stream(std::move(block), static_cast<std::uint32_t>(stream_bytes.size()),
                              [] { throw std::runtime_error("overrun"); });
  stream.ReadU32();
  EXPECT_EQ(StagingBytes(stream, NativeFileSystem()), Needed());
  EXPECT_EQ(stream.offset(), 4u);
  EXPECT_EQ(stream.ReadName(), "DATA\\Maps\\a.bin");
}

}  // namespace
}  // namespace engine::test
