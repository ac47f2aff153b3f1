// The check of every game path in the patch stream, made before anything is
// staged. Loose-file targets, archive paths and deletion paths must each be
// in the one accepted form (engine/game_path.h), and no two targets (loose
// files and archives together) may name one file however they are spelt:
// two staged copies of one file would be one file, and the second backup of
// the commit would overwrite the first, the only copy of the old file.
//
// Entry and drop names are names inside a zip archive, not paths on the
// disk: they are written into the new archive and compared with the old
// one's, never opened, so no folder rule applies to them.
#pragma once

#include "payload/patch_stream.h"

namespace engine {

// `stream` stands at the loose-file section and is left there. Throws
// InstallError::Unknown, like any other malformed stream, when a name is
// refused or a target is named twice.
void CheckStreamNames(const payload::PatchStream& stream);

}  // namespace engine
