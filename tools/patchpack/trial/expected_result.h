// Whether a patched game folder holds what the author meant: the files of
// NEW byte for byte, zip archives by their entries' names and contents (the
// installer rewrites an archive, so its bytes differ from any other
// writer's), and curver.txt as the installer writes it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace patchpack {

// One line per difference, empty when the result matches.
std::vector<std::string> CompareWithExpected(const std::filesystem::path& result,
                                             const std::filesystem::path& expected,
                                             std::int32_t patch_version);

}  // namespace patchpack
