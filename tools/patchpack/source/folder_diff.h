// Which files differ between an old and a new game folder. Paths are
// relative, with '/', and matched without regard to case, as the game's file
// system matches them; curver.txt at the top is left out, since the installer
// writes it itself.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/patchpack/report/progress_reporter.h"

namespace patchpack {

struct ChangedFile {
  std::string old_path;  // as spelled in OLD; empty when OLD lacks the file
  std::string new_path;  // as spelled in NEW
};

struct FolderDiff {
  std::vector<ChangedFile> changed;    // in NEW but not in OLD, or with other bytes
  std::vector<std::string> deletions;  // in OLD but not in NEW, as spelled in OLD
};

// The names the folders go by in messages: their roles for the user.
struct FolderRoles {
  std::string old_folder = "OLD";
  std::string new_folder = "NEW";
};

// Throws CommandError for a missing folder, two paths that differ only in
// case, a path that is a file in one folder and a folder in the other, and
// a file that cannot be read, each naming the folder by its role. The
// comparison shows its progress in `progress` mode: the bytes of the files
// that both folders hold, of both copies.
FolderDiff DiffFolders(const std::filesystem::path& old_root, const std::filesystem::path& new_root,
                       ProgressReporter::Mode progress = ProgressReporter::Mode::Quiet,
                       const FolderRoles& roles = {});

}  // namespace patchpack
