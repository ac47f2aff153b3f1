// Why an installation would fail on a game, found before the run by looking
// at what each record of the patch needs of the game: the run itself only
// shows the player "Unknown error" or the write error, which says nothing to
// an author.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "payload/payload_writer.h"

namespace patchpack {

// One line for each record the game cannot take: an archive record for an
// archive the game lacks or that cannot be read as a zip, a target that the
// installer cannot write on Windows (the rules of TargetProblem, which build
// and diff apply too).
std::vector<std::string> FindPatchProblems(const payload::PatchDescription& patch,
                                           const std::filesystem::path& game);

}  // namespace patchpack
