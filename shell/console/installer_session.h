// The progress display of the terminal: runs the installation on its own
// installer thread while the main thread waits for its end and turns Ctrl+C
// into a cancel request.
#pragma once

#include "shell/console/line_reader.h"

namespace console {

// Exit codes of the console installer, for scripts.
enum ExitCode {
  kInstalled = 0,
  kErrorShown = 1,
  kNotInstalled = 2,  // No answered, cancelled, or no folder found or chosen
  kMessagesMissing = 255,
};

// Runs one installation in the current directory and returns its exit code.
// Call once, on the main thread, before any other thread exists.
ExitCode RunInstallerSession(LineReader& input);

}  // namespace console
