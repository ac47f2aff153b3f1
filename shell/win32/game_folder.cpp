#include "shell/win32/game_folder.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include "shell/folder_search.h"
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

}  // namespace

std::string FindGameFolder() {
  return shell::FindGameFolder({
      .start_directory_holds_game = StartDirectoryHoldsGame,
      .start_directory = ".\\",
      .read_install_path = [] { return ReadRegistryString(kGameKey, "InstallPath"); },
      .read_a_paths = [] { return ReadRegistryString(kCommonKey, "aPaths"); },
      .names_existing_file = NamesExistingFile,
      .choose_folder = BrowseForGameFolder,
  });
}

}  // namespace shell::win32
