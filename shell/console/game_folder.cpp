#include "shell/console/game_folder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "shell/console/folder_prompt.h"

namespace console {
namespace {

namespace fs = std::filesystem;

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

// The entry of `folder` whose name is `name` in any case; empty if none.
fs::path FindIgnoringCase(const fs::path& folder, const std::string& name) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (SameNameIgnoringCase(it->path().filename().string(), name)) return it->path();
  }
  return {};
}

}  // namespace

bool StartDirectoryHoldsGame() {
  if (FindIgnoringCase(".", "sv.exe").empty()) return false;
  const fs::path data = FindIgnoringCase(".", "data");
  return !data.empty() && !FindIgnoringCase(data, "game.ini").empty();
}

std::string FolderFromInstallPath(const std::string& install_path) {
  struct stat status {};
  if (install_path.empty() || ::stat(install_path.c_str(), &status) != 0 ||
      S_ISDIR(status.st_mode)) {
    return {};
  }
  const std::size_t separator = install_path.find_last_of("/\\");
  return separator == std::string::npos ? install_path : install_path.substr(0, separator);
}

std::string InitialFolderFromAPaths(const std::string& a_paths) {
  return a_paths.substr(0, a_paths.find('?'));
}

std::string FindGameFolder(const FolderSettings& settings, LineReader& input) {
  if (StartDirectoryHoldsGame()) return ".";
  std::string folder = FolderFromInstallPath(settings.install_path);
  if (!folder.empty()) return folder;
  return BrowseForGameFolder(InitialFolderFromAPaths(settings.a_paths), input);
}

}  // namespace console
