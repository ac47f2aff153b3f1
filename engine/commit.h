// Putting the staged files in place, deleting obsolete files, and discarding
// what a failed run staged.
#pragma once

#include "engine/background_task.h"
#include "engine/commit_list.h"
#include "engine/fs/file_system.h"
#include "payload/patch_stream.h"

namespace engine {

// Forces every staged copy to the disk before the first target is replaced,
// so that a power cut after the commit cannot leave renamed files empty.
// Throws the write-error InstallError; nothing has been committed by then.
void FlushStagedFiles(const CommitList& commit_list, FileSystem& file_system);

// Replaces every target by its staged copy, all or nothing. Every target is
// first checked to be replaceable, with a free backup name; one that is not
// (a directory, a file held open against deletion, a leftover or planted
// backup), like a refused or repeated name, throws InstallError::Unknown
// before any game file changes. The journal (engine/commit_journal.h) is
// written next, a failure there being the write error. Each old file is kept
// under its backup name while its target is replaced by one rename; should a
// rename fail, every target already replaced is restored and
// InstallError::Unknown thrown. Once all are in place the backups go, beside
// the caller (engine/background_task.h): the result is their removal, which
// the caller waits for before it shows success. Until it is done, the
// committed marker stays for the next run to finish the job.
[[nodiscard]] BackgroundTask CommitStagedFiles(const CommitList& commit_list,
                                               FileSystem& file_system);

// Reads the deletion section through its terminator and removes each file,
// from several threads where the file system takes work beside the caller,
// then forces the removals to the disk. Never fails: a path that is missing
// or cannot be removed is passed over.
void DeleteObsoleteFiles(payload::PatchStream& stream, FileSystem& file_system);

// Removes the staged copy of every listed target that still has one.
void DiscardStagedFiles(const CommitList& commit_list, FileSystem& file_system);

}  // namespace engine
