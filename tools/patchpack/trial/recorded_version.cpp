#include "tools/patchpack/trial/recorded_version.h"

#include "engine/fs/file_system.h"
#include "engine/version_record.h"
#include "tools/patchpack/trial/scratch_game.h"

namespace patchpack {

std::optional<std::int32_t> RecordedVersion(const std::filesystem::path& game_folder) {
  // The installer reads the record from the game folder it runs in.
  WorkingDirectory in_game(game_folder);
  engine::FileSystem& disk = engine::NativeFileSystem();
  if (!disk.Exists(engine::kVersionRecordPath)) return std::nullopt;
  return engine::ReadVersionRecord(disk).version;
}

}  // namespace patchpack
