// How a file that differs between the old and the new game goes into a
// patch: loose, or, for a zip archive, by its changed entries or whole.
// Archives are told by their bytes, whatever their extension, since the
// installer rewrites whatever archive a patch names; an archive that the
// installer's rewrite would not reproduce goes whole, with the reason.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/patchpack/source/archive_diff.h"
#include "tools/patchpack/source/folder_diff.h"

namespace patchpack {

struct FilePlan {
  enum class Kind {
    Loose,    // not an archive, or one that OLD lacks
    ByEntry,  // `diff` holds the entries to write and drop, maybe none
    Whole,    // an archive shipped as a loose file; `why_whole` says why
  };
  Kind kind = Kind::Loose;
  ArchiveDiff diff;
  std::string why_whole;
};

// Paths matched without regard to case, with '/' between folders; '*' stands
// for any run of characters within one name, '?' for one character.
bool MatchesWholePattern(std::string_view pattern, std::string_view path);

// `keep_whole` holds the author's patterns of archives to ship whole. Throws
// CommandError when NEW's archive cannot be read or its entries cannot go
// into a patch source.
FilePlan PlanChangedFile(const std::filesystem::path& old_root,
                         const std::filesystem::path& new_root, const ChangedFile& file,
                         const std::vector<std::string>& keep_whole);

}  // namespace patchpack
