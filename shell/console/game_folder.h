// The search for the game folder, in its fixed order: the start directory if
// it holds the game, then the "InstallPath" setting, then the folder prompt,
// pre-selected from the "aPaths" setting or the start directory.
#pragma once

#include <string>

#include "shell/console/folder_settings.h"
#include "shell/console/line_reader.h"

namespace console {

// True when the current directory holds sv.exe and data/game.ini, names
// compared without regard to case as Windows would.
bool StartDirectoryHoldsGame();

// The folder that an "InstallPath" value names: the value cut at its last '/'
// or '\\'. Empty when the value does not name an existing non-directory.
std::string FolderFromInstallPath(const std::string& install_path);

// The prompt's initial folder from an "aPaths" value: the text before its
// first '?'.
std::string InitialFolderFromAPaths(const std::string& a_paths);

// The game folder, or empty when none was found or chosen.
std::string FindGameFolder(const FolderSettings& settings, LineReader& input);

}  // namespace console
