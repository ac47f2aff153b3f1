#include "shell/console/game_folder.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "base/case_insensitive_name.h"
#include "shell/console/folder_prompt.h"
#include "shell/folder_search.h"

namespace console {
namespace {

namespace fs = std::filesystem;

// The entry of `folder` whose name is `name` in any case, the same one the
// installer would take; empty if none.
fs::path FindIgnoringCase(const fs::path& folder, const std::string& name) {
  base::CaseInsensitiveChoice choice(name);
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    choice.Offer(it->path().filename().string());
  }
  return choice.chosen() ? folder / *choice.chosen() : fs::path();
}

// sv.exe and data/game.ini, names compared without regard to case as Windows
// would.
bool StartDirectoryHoldsGame() {
  if (FindIgnoringCase(".", "sv.exe").empty()) return false;
  const fs::path data = FindIgnoringCase(".", "data");
  return !data.empty() && !FindIgnoringCase(data, "game.ini").empty();
}

bool NamesExistingFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

}  // namespace

std::string FindGameFolder(const FolderSettings& settings, LineReader& input) {
  return shell::FindGameFolder({
      .start_directory_holds_game = StartDirectoryHoldsGame,
      .start_directory = ".",
      .read_install_path = [&settings] { return settings.install_path; },
      .read_a_paths = [&settings] { return settings.a_paths; },
      .names_existing_file = NamesExistingFile,
      .choose_folder =
          [&input](const std::string& initial) { return BrowseForGameFolder(initial, input); },
  });
}

}  // namespace console
