// The two flags that a host's user-facing thread (the dialog procedure, the
// terminal's main thread) and the installer thread share, and nothing else.
// Each has one writer besides the reset before the installer thread starts:
// the user-facing thread sets CancelRequested, the run sets InstallFinished.
// They are atomic so that a write on one thread is seen by the other without
// a lock.
#pragma once

#include <atomic>

namespace shell {

// Set when the user asks to cancel (Cancel, Esc, Ctrl+C) while a run is
// under way; read by the run at its check points.
inline std::atomic<bool> CancelRequested{false};
// Set by a successful run; from then on the button closes the dialog and
// Ctrl+C changes nothing.
inline std::atomic<bool> InstallFinished{false};

}  // namespace shell
