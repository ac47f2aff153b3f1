#include "engine/free_space.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <string>

#include "engine/write_error.h"

namespace engine {
namespace {

// Skips a list of (name, size, bytes) records through its terminator and
// returns the sizes.
void AddContents(payload::PatchStream& cursor, std::vector<std::uint64_t>& sizes) {
  for (std::string name = cursor.ReadName(); !name.empty(); name = cursor.ReadName()) {
    const std::uint32_t size = cursor.ReadU32();
    cursor.TakeBytes(size);
    sizes.push_back(size);
  }
}

std::uint64_t Sum(const std::vector<std::uint64_t>& sizes) {
  return std::accumulate(sizes.begin(), sizes.end(), std::uint64_t{0});
}

}  // namespace

StagedSizes MeasureStaging(const payload::PatchStream& stream, FileSystem& file_system) {
  payload::PatchStream cursor = stream.LookAhead();
  StagedSizes sizes;
  AddContents(cursor, sizes.loose_files);
  for (std::string archive = cursor.ReadName(); !archive.empty(); archive = cursor.ReadName()) {
    std::vector<std::uint64_t> entries;
    AddContents(cursor, entries);
    sizes.archives.push_back(file_system.FileSize(archive).value_or(0) + Sum(entries));
    while (!cursor.ReadName().empty()) {
    }
  }
  return sizes;
}

std::vector<std::uint64_t> StagingParts(const StagedSizes& sizes) {
  std::vector<std::uint64_t> parts{Sum(sizes.loose_files)};
  parts.insert(parts.end(), sizes.archives.begin(), sizes.archives.end());
  return parts;
}

std::uint64_t SpaceTaken(const StagedSizes& sizes, std::uint64_t unit) {
  unit = std::max<std::uint64_t>(unit, 1);
  std::uint64_t taken = 0;
  for (const auto* list : {&sizes.loose_files, &sizes.archives}) {
    for (const std::uint64_t size : *list) taken += (size / unit + (size % unit != 0)) * unit;
  }
  return taken;
}

void CheckFreeSpace(const StagedSizes& sizes, FileSystem& file_system) {
  const std::optional<VolumeSpace> volume = file_system.FreeSpace();
  if (volume && volume->free_bytes < SpaceTaken(sizes, volume->unit)) throw WriteError();
}

}  // namespace engine
