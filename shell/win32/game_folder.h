// The search for the folder of the installed game: the start directory, the
// registry value "InstallPath", or the user's choice in a browse dialog.
#pragma once

#include <string>

namespace shell::win32 {

// The game folder, to be made the current directory: ".\" when the start
// directory holds the game, the folder of the "InstallPath" file, or the
// folder chosen in the browse dialog. Empty when the user chose none, in
// which case nothing is installed.
std::string FindGameFolder();

}  // namespace shell::win32
