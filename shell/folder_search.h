// The search for the game folder, in its fixed order, shared by both hosts:
// the start directory if it holds the game, then the folder of the game's
// executable that "InstallPath" names, then the user's choice in a folder
// dialog or prompt that starts at the first folder of "aPaths". Each host
// supplies the probes and the dialog of its platform.
#pragma once

#include <functional>
#include <string>

namespace shell {

struct FolderSearch {
  // True when the start directory holds sv.exe and data\game.ini.
  std::function<bool()> start_directory_holds_game;
  // How the host names the start directory when it is the game folder.
  std::string start_directory;
  // The "InstallPath" and "aPaths" settings, empty when unset.
  std::function<std::string()> read_install_path;
  std::function<std::string()> read_a_paths;
  // True when the path names an existing file that is not a directory.
  std::function<bool(const std::string&)> names_existing_file;
  // Asks the user, starting at the given folder; empty when nothing is chosen.
  std::function<std::string(const std::string&)> choose_folder;
};

// The folder that an "InstallPath" value names: the value cut at its last '/'
// or '\\'. The value names the game's executable, not its folder.
std::string FolderOfInstallPath(const std::string& install_path);

// The folder dialog's starting point from an "aPaths" value: the text before
// its first '?', which separates the folders it lists.
std::string InitialFolderFromAPaths(const std::string& a_paths);

// The game folder, or empty when none was found or chosen.
std::string FindGameFolder(const FolderSearch& search);

}  // namespace shell
