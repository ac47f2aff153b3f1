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

// The bytes that staging the patch will write: every loose file, and for
// each archive the old archive's size plus the sizes of its new entries.
// `stream` stands at the loose-file section and is left there. An old
// archive whose size cannot be had counts as empty: its merge reports it.
std::uint64_t StagingBytes(const payload::PatchStream& stream, FileSystem& file_system);

// The same bytes in the order staging writes them: the loose files together,
// then each archive on its own (old size plus new entries).
std::vector<std::uint64_t> StagingParts(const payload::PatchStream& stream,
                                        FileSystem& file_system);

// Throws the write-error InstallError when the game folder's volume has
// fewer free bytes than `needed`, what staging needs. A volume that cannot tell its free
// space is not held up: its writes still report a full disk.
void CheckFreeSpace(std::uint64_t needed, FileSystem& file_system);

}  // namespace engine
