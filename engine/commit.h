// Putting the staged files in place, deleting obsolete files, and discarding
// what a failed run staged.
#pragma once

#include "engine/commit_list.h"
#include "engine/file_system.h"
#include "payload/patch_stream.h"

namespace engine {

// Forces every staged copy to the disk before the first target is replaced,
// so that a power cut after the commit cannot leave renamed files empty.
// Throws the write-error InstallError; nothing has been committed by then.
void FlushStagedFiles(const CommitList& commit_list, FileSystem& file_system);

// Replaces each target by its staged copy, in list order, each in one atomic
// step. When a rename fails it throws InstallError::Unknown and the later
// entries keep their old targets. If that entry's target is then missing, its
// staged copy is the only copy of the file, so the entry is taken off the
// list to keep the clean-up from removing it.
void CommitStagedFiles(CommitList& commit_list, FileSystem& file_system);

// Reads the deletion section through its terminator and removes each file.
// Never fails: a path that is missing or cannot be removed is passed over.
void DeleteObsoleteFiles(payload::PatchStream& stream, FileSystem& file_system);

// Removes the staged copy of every listed target that still has one.
void DiscardStagedFiles(const CommitList& commit_list, FileSystem& file_system);

}  // namespace engine
