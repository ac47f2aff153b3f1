// The free-space check before staging. Staging writes a copy of every new
// file and of every rewritten archive beside its target, so a full disk
// would otherwise be found only at the write that fails, after minutes of
// work; this finds it before the first byte is written.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/fs/file_system.h"
#include "payload/patch_stream.h"

namespace engine {

// The bytes of each file that staging writes, in the order it writes them.
struct StagedSizes {
  std::vector<std::uint64_t> loose_files;
  // For each archive, the old archive's size plus the sizes of its new
  // entries: surviving entries are copied as they are stored, and new ones
  // are counted before they are compressed.
  std::vector<std::uint64_t> archives;
};

// `stream` stands at the loose-file section and is left there. An old
// archive whose size cannot be had counts as empty: its merge reports it.
StagedSizes MeasureStaging(const payload::PatchStream& stream, FileSystem& file_system);

// The same bytes as StagingProgress counts them: the loose files together,
// then each archive on its own.
std::vector<std::uint64_t> StagingParts(const StagedSizes& sizes);

// The room the staged files take on a volume that hands out space in units
// of `unit` bytes: each file rounded up to whole units, an empty one none.
// A unit of 0 counts as 1.
std::uint64_t SpaceTaken(const StagedSizes& sizes, std::uint64_t unit);

// Throws the write-error InstallError when the game folder's volume has
// less room than staging takes. A volume that cannot tell its free space is
// not held up: its writes still report a full disk.
void CheckFreeSpace(const StagedSizes& sizes, FileSystem& file_system);

}  // namespace engine
