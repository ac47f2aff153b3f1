// The limits the installer puts on the names a patch gives it. patchpack
// checks a patch against these same constants, so that a name it accepts is
// one the installer can stage, create the folders of and merge.
#pragma once

#include <algorithm>
#include <cstddef>

#include "engine/own_names.h"

namespace engine {

// The longest name of one file or folder on every file system the installer
// meets (NTFS and ext4 alike), in bytes. A target's staged copy and its backup
// must fit, with the suffix below added.
inline constexpr std::size_t kMaxNameBytes = 255;

// The most bytes the installer adds to a target's name while staging and
// committing (".updtmp", ".updbak").
inline constexpr std::size_t kOwnSuffixBytes =
    std::max(sizeof kStagedSuffix, sizeof kBackupSuffix) - 1;

// Folder prefixes of a target longer than this are refused rather than
// created.
inline constexpr std::size_t kMaxDirectoryPrefix = 999;

// The longest old entry name the merge takes. Names are read into a buffer of
// this many characters and a terminator; a longer name would be copied cut
// short, so the merge refuses it and patchpack's diff ships such an archive
// whole instead.
inline constexpr std::size_t kMaxEntryNameLength = 256;

}  // namespace engine
