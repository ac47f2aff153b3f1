// Work of the run that goes on beside the installer thread: calls that wait
// on the device, such as removals (engine/file_removal.h), whose waits
// overlap when they come from several threads. Where the file system cannot
// take calls from two threads (FileSystem::StartBeside), the work is done at
// once, before the constructor returns, and the run's calls come in the
// order of the code.
#pragma once

#include <exception>
#include <functional>
#include <memory>

#include "engine/fs/file_system.h"

namespace engine {

class BackgroundTask {
 public:
  // Starts `work`, which makes its calls on `file_system`.
  BackgroundTask(FileSystem& file_system, std::function<void()> work);
  // Waits for the work; what it threw is dropped, as an error is already on
  // its way out when a task goes without Wait.
  ~BackgroundTask();
  // Where the work runs, its failure is seen: the task is not moved.
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;

  // Waits for the work to end, and throws here, on the installer thread,
  // what the work threw, so that the run's failures are still caught in
  // its one place.
  void Wait();

 private:
  // Set by the work, which may run inside the constructor: so it comes
  // first, and is in place before the work starts.
  std::exception_ptr failure_;
  std::unique_ptr<WorkBeside> work_;
};

}  // namespace engine
