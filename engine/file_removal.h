// Removing many files at once. On Linux, on an ext4 volume that keeps no
// journal and is mounted with online discard, an unlink waits until the
// device has trimmed the file's blocks: some 4 ms for a small file on a
// virtual disk, a tenth of a second for a 600 MB archive. Such waits
// overlap when the removals come from several threads: 536 small files
// took 1.9 s from one thread, 0.06 s from four and 0.04 s from eight.
#pragma once

#include <string>
#include <vector>

#include "engine/fs/file_system.h"

namespace engine {

// Removes every path, in consecutive parts from up to eight threads (the
// last part on this one) where the file system takes work beside the
// caller; otherwise one after another in the order given. Returns the paths
// removed, in that order. Never fails: a path that is missing or cannot be
// removed is left out of the result.
std::vector<std::string> RemoveFiles(const std::vector<std::string>& paths,
                                     FileSystem& file_system);

}  // namespace engine
