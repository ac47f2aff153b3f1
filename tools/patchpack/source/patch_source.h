// A patch source folder, the form in which an author keeps a patch:
//
//   version.txt                     the patch version, decimal, may be negative
//   files/<target path>             loose files; the path becomes the target
//   archives/<archive path>/        new entries of that archive, by entry name
//   archives/<archive path>.drop    entry names to drop, one a line
//   delete.txt                      game paths to delete, one a line
//
// Under archives/, the first folder on a path whose name has an extension
// (sounds.zip, music.pak) is an archive; the folders above it are the game's.
// Everything is sorted byte-wise so that a source always gives the same
// payload, whatever order the file system lists it in.
#pragma once

#include <filesystem>

#include "payload/payload_writer.h"

namespace patchpack {

struct SourceOptions {
  // Take what symbolic links in the source point to; without it a link is refused.
  bool follow_links = false;
};

// Reads and checks the whole source; throws CommandError naming the first
// file at fault and the reason.
payload::PatchDescription LoadPatchSource(const std::filesystem::path& source,
                                          const SourceOptions& options = {});

}  // namespace patchpack
