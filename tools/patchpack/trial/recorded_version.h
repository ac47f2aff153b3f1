// The patch version a game folder's curver.txt records, read by the
// installer's own code, so that patchpack sees the number a player's
// installer would.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace patchpack {

// nullopt when the folder holds no curver.txt; the installer's 0 when the
// file does not start with a number.
std::optional<std::int32_t> RecordedVersion(const std::filesystem::path& game_folder);

}  // namespace patchpack
