// The two flags that the progress dialog and the installer thread share. Each
// has one writer besides the reset before the thread starts: the dialog
// procedure sets CancelRequested, the run sets InstallFinished. They are
// atomic so that a write on one thread is seen by the other without a lock.
#pragma once

#include <atomic>

namespace shell::win32 {

// Set when the user presses Cancel (or Esc) while a run is under way.
inline std::atomic<bool> CancelRequested{false};
// Set by a successful run; from then on the button closes the dialog.
inline std::atomic<bool> InstallFinished{false};

}  // namespace shell::win32
