// The two flags that the terminal (main thread) and the installation run
// (installer thread) share, and nothing else: each has one writer.
#pragma once

#include <atomic>

namespace console {

// Set by the main thread when the user presses Ctrl+C during a run; read by
// the run at its check points.
inline std::atomic<bool> CancelRequested{false};
// Set by the run once it has succeeded; from then on Ctrl+C changes nothing.
inline std::atomic<bool> InstallFinished{false};

}  // namespace console
