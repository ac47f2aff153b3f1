// The difference between two versions of one zip archive, in the form the
// installer applies: entries to write (replacing any old entry of that name)
// and old entries to drop. The installer copies every other old entry under
// its lower-cased name, so the diff works on lower-cased names throughout and
// reproduces the contents of the new archive, not its exact bytes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "payload/payload_writer.h"

namespace patchpack {

struct ArchiveDiff {
  std::vector<payload::FileEntry> new_entries;  // lower-cased names, sorted
  std::vector<std::string> drop_names;          // sorted

  bool empty() const { return new_entries.empty() && drop_names.empty(); }
};

// Either the diff, or why the installer could not rebuild the new archive
// from the old one by entry, in words for the author: the caller then ships
// the new archive whole.
struct ArchiveDiffOutcome {
  std::optional<ArchiveDiff> diff;
  std::string why_whole;  // set when there is no diff
};

// No diff when the old archive is unreadable, holds a name longer than the
// installer reads, or an entry that would survive is encrypted or neither
// stored nor deflated; also when the new archive holds an entry that cannot
// be read back for comparison (encrypted, or compressed by another method).
// Throws CommandError, naming `shown_new`, when the new archive cannot be
// read or its entries cannot be written into a patch source.
ArchiveDiffOutcome DiffArchives(const std::filesystem::path& old_archive,
                                const std::filesystem::path& new_archive,
                                const std::string& shown_new);

}  // namespace patchpack
