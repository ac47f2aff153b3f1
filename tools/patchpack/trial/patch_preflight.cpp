#include "tools/patchpack/trial/patch_preflight.h"

#include <optional>

#include "base/ascii.h"
#include "base/case_insensitive_name.h"
#include "tools/patchpack/formats/zip_reader.h"
#include "tools/patchpack/report/command_error.h"
#include "tools/patchpack/source/folder_diff.h"
#include "tools/patchpack/source/source_rules.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

// The game path a stream path names, each component matched as the installer
// matches it: either separator, letter case ignored, and of several names
// that differ only in case the one the installer would take. nullopt when a
// component is missing.
std::optional<fs::path> FindInGame(const fs::path& game, const std::string& stream_path) {
  fs::path here = game;
  std::size_t start = 0;
  while (start <= stream_path.size()) {
    std::size_t end = stream_path.find_first_of("\\/", start);
    if (end == std::string::npos) end = stream_path.size();
    base::CaseInsensitiveChoice choice(std::string_view(stream_path).substr(start, end - start));
    std::error_code error;
    for (fs::directory_iterator it(here, error), last; !error && it != last; it.increment(error)) {
      choice.Offer(it->path().filename().string());
    }
    if (!choice.chosen()) return std::nullopt;
    here /= *choice.chosen();
    start = end + 1;
  }
  return here;
}

}  // namespace

std::vector<std::string> FindPatchProblems(const payload::PatchDescription& patch,
                                           const fs::path& game) {
  std::vector<std::string> problems;
  for (const payload::FileEntry& file : patch.loose_files) {
    if (auto problem = TargetProblem(file.name)) problems.push_back(file.name + ": " + *problem);
  }
  for (const payload::ArchiveRecord& archive : patch.archives) {
    if (auto problem = TargetProblem(archive.path)) {
      problems.push_back(archive.path + ": " + *problem);
      continue;
    }
    std::optional<fs::path> found = FindInGame(game, archive.path);
    std::error_code error;
    if (!found || !fs::is_regular_file(*found, error)) {
      problems.push_back(archive.path +
                         ": the patch rewrites this archive, which the game does not have "
                         "(the installer shows \"Unknown error\")");
      continue;
    }
    try {
      ZipReader reader(*found, archive.path + ": the game's archive cannot be read as a zip");
    } catch (const CommandError& error) {
      problems.push_back(error.what());
    }
  }
  return problems;
}

}  // namespace patchpack
