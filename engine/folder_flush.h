// Forcing to the disk the names of the folders that hold several paths, each
// folder once: removals that a later step relies on survive a power cut only
// once their folders are on the disk.
#pragma once

#include <string>
#include <vector>

#include "engine/fs/file_system.h"

namespace engine {

// False when any of the folders could not be flushed.
bool FlushFoldersOf(const std::vector<std::string>& paths, FileSystem& file_system);

}  // namespace engine
