// Replacing a small file so that a kill or a power cut leaves either its old
// contents or its new ones, never a part of either: the new contents are
// written whole under the staged name, forced to the disk, and renamed over
// the file, a rename whose new name the file system makes durable.
#pragma once

#include <string>
#include <string_view>

#include "engine/fs/file_system.h"

namespace engine {

// False on failure, with the file as it was and no staged copy left.
bool WriteFileAtomically(FileSystem& file_system, const std::string& path,
                         std::string_view contents);

}  // namespace engine
