// The search for the game folder (shell/folder_search.h) with the console's
// probes: names matched without regard to case, the settings file for the
// registry values, and the folder prompt for the dialog, pre-selected from
// the "aPaths" setting or the start directory.
#pragma once

#include <string>

#include "shell/console/folder_settings.h"
#include "shell/console/line_reader.h"

namespace console {

// The game folder, or empty when none was found or chosen.
std::string FindGameFolder(const FolderSettings& settings, LineReader& input);

}  // namespace console
