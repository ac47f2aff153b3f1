#include "shell/win32/game_folder.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include "shell/win32/browse_folder.h"
#include "shell/win32/registry_string.h"

namespace shell::win32 {
namespace {

constexpr const char* kGameKey = "Software\\Quillmarch\\Stormhaven";
constexpr const char* kCommonKey = "Software\\Quillmarch\\Stormhaven\\Common";

bool Exists(const char* pattern) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

// The game's executable and its settings file both sit at the top of the game
// folder; a folder with only one of them is not taken for the game.
bool StartDirectoryHoldsGame() { return Exists(".\\sv.exe") && Exists(".\\data\\game.ini"); }

// "InstallPath" names the game's executable, not its folder: a directory
// there is a stale or foreign value.
bool NamesExistingFile(const std::string& path) {
  struct _stat info;
  return _stat(path.c_str(), &info) == 0 && (info.st_mode & _S_IFDIR) == 0;
}

// Everything before the last separator; the value may use either kind.
std::string ParentOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(0, separator);
}

}  // namespace

std::string FindGameFolder() {
  if (StartDirectoryHoldsGame()) return ".\\";

  const std::string install_path = ReadRegistryString(kGameKey, "InstallPath");
  if (!install_path.empty() && NamesExistingFile(install_path)) return ParentOf(install_path);

  // "aPaths" lists folders separated by '?'; the first one is offered as the
  // dialog's starting point, and the dialog is shown even when it exists.
  std::string initial_folder = ReadRegistryString(kCommonKey, "aPaths");
  initial_folder = initial_folder.substr(0, initial_folder.find('?'));
  return BrowseForGameFolder(initial_folder);
}

}  // namespace shell::win32
