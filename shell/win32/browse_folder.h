// The folder-browse dialog in which the user picks the game folder when
// neither the start directory nor the registry names it.
#pragma once

#include <windows.h>

#include <string>

namespace shell::win32 {

// Shows the classic browse dialog, titled with the "choose folder" text and
// with `initial_folder` pre-selected (the current directory when it is
// empty). Yields the chosen folder without a trailing backslash, or the empty
// string when the user cancelled, the choice is not a file-system folder, or
// it is a drive root.
std::string BrowseForGameFolder(std::string initial_folder);

// The browse dialog's callback: pre-selects the narrow path passed as `data`
// once the dialog has initialized. Always returns 0.
int CALLBACK BrowseCallback(HWND window, UINT event, LPARAM parameter, LPARAM data);

}  // namespace shell::win32
