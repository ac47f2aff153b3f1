// Rewrites the game's zip archives: for each archive record of the stream, a
// staged archive holding the patch's new entries followed by every old entry
// that the patch neither replaces nor drops, copied without recompression.
#pragma once

#include <string>

#include "engine/commit_list.h"
#include "engine/fs/file_system.h"
#include "engine/installer_host.h"
#include "engine/staging_progress.h"
#include "payload/patch_stream.h"

namespace engine {

// Reads the archive section through its terminator, staging each archive and
// appending its path to `commit_list`; each archive is one part of
// `progress`. Throws InstallError.
void MergeArchives(payload::PatchStream& stream, CommitList& commit_list, InstallerHost& host,
                   StagingProgress& progress, FileSystem& file_system);

// One archive record; the stream stands just after the archive path. Counts
// each new entry's size and each kept entry's stored size in `progress`.
void ArchiveMerge(payload::PatchStream& stream, const std::string& archive_path,
                  CommitList& commit_list, InstallerHost& host, StagingProgress& progress,
                  FileSystem& file_system);

}  // namespace engine
