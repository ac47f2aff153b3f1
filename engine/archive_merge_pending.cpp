// Stands in for the archive merge until it lands: a patch without archive
// records runs through, one with any is refused rather than half-applied.
#include "engine/archive_merge.h"
#include "engine/install_error.h"

namespace engine {

void MergeArchives(payload::PatchStream& stream, CommitList&, InstallerHost&, FileSystem&) {
  if (!stream.ReadName().empty()) throw InstallError(InstallError::Unknown);
}

}  // namespace engine
