// Staging of the patch's loose files. Each file is written in full beside its
// target under its staged name before any game file is touched; the commit
// (engine/commit.h) later puts all staged files in place at once.
#pragma once

#include <string>

#include "engine/commit_list.h"
#include "engine/fs/file_system.h"
#include "engine/installer_host.h"
#include "engine/name_limits.h"
#include "engine/staging_progress.h"
#include "payload/patch_stream.h"

namespace engine {

// Creates every directory along `path`, leftmost first, forcing the name of
// each one it makes to the disk; the last component is the file itself and
// is not created. Never fails: a directory that cannot be made shows up
// when the file in it cannot be opened.
void CreatePathDirectories(const std::string& path, FileSystem& file_system);

// Reads the loose-file section through its terminator and stages every file,
// appending each target to `commit_list` before its staged copy is created
// and counting its bytes in `progress` once it is written.
// Throws InstallError: Silent when a cancel is seen before a file, a Text with
// the write-error message when a staged file cannot be created, written in
// full or closed.
void StageLooseFiles(payload::PatchStream& stream, CommitList& commit_list, InstallerHost& host,
                     StagingProgress& progress, FileSystem& file_system);

}  // namespace engine
