// Finds a stream path beneath the game folder (the current directory, which
// start-up made the game folder and which the process holds, like an open
// descriptor, for the whole run: renaming the folder's own path cannot move
// it). The path is walked one component at a time from there, each folder
// opened before the next name is looked up in it, and no link is ever
// followed: a link on the way (a symbolic link to a folder elsewhere, say)
// ends the walk, so that no call made through the result can touch a file
// outside the game folder. What the walk hands back is the open folder that
// holds the last component and that component's name; every call after it
// works relative to that descriptor (openat, renameat, unlinkat, ...), so
// the folders on the way cannot be swapped for links in between.
//
// Names are matched the way Windows finds them: backslashes separate, and a
// component that does not exist in the exact spelling matches an existing
// entry that differs only in ASCII letter case.
#pragma once

#include <fcntl.h>

#include <optional>
#include <string>

#include "base/unique_fd.h"

namespace engine {

struct PathBeneath {
  // The folder that holds `name`; not owned (invalid) when that is the game
  // folder itself.
  base::UniqueFd folder;
  // The last component, spelled as it exists on disk, or as the stream
  // spells it when nothing of that name exists yet.
  std::string name;

  int dir() const { return folder.valid() ? folder.get() : AT_FDCWD; }
};

// The folder and last name of `stream_path`, or nullopt with errno set:
// ENOENT when a folder on the way does not exist, ELOOP or ENOTDIR when a
// link or a file stands where a folder should, EXDEV when the path would
// leave the game folder (absolute, "..", or no name at all).
std::optional<PathBeneath> FindBeneath(const std::string& stream_path);

// Opens the file at `stream_path` with `flags` (never creating it), not
// following a link at the last name either; the descriptor, or -1.
int OpenBeneath(const std::string& stream_path, int flags);

// Creates a file of our own at `stream_path`, open for writing, and returns
// its descriptor, or -1. Whatever stands at the name goes first: a leftover
// of an earlier run, or a link that someone put there to have us write
// elsewhere (unlinkat removes the link itself, and refuses a directory,
// which the open then refuses too). O_EXCL with O_NOFOLLOW fails should
// anything appear at the name in between.
int CreateOwnFileBeneath(const std::string& stream_path);

// Forces the entries of the folder that holds `path` to the device, so that
// a name created, renamed or removed in it survives a power cut; false when
// that failed. A rename or link that has already happened cannot be undone
// by its failure, so they pass it over.
bool FlushFolder(const PathBeneath& path);

}  // namespace engine
