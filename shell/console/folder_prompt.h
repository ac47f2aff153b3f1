// The terminal's stand-in for the folder-browse dialog.
#pragma once

#include <string>

#include "shell/console/line_reader.h"

namespace console {

// Shows the MsgId::ChooseFolder text with the pre-selected folder (`initial`
// when it is an existing folder, else the current directory) and reads the
// answer: Enter takes the pre-selection, a typed path is taken relative to
// the current directory, a path that is no folder is asked for again. Yields
// the folder without a trailing '/', or empty when input ends or the choice
// is the root.
std::string BrowseForGameFolder(const std::string& initial, LineReader& input);

}  // namespace console
