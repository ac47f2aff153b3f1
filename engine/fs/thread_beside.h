// Work beside the run on a thread of its own, for the file systems that keep
// no state between their calls and so may take them from two threads.
#pragma once

#include <functional>
#include <memory>
#include <system_error>
#include <utility>

#include "base/worker_thread.h"
#include "engine/fs/file_system.h"

namespace engine {

// Starts `work` on a new thread, joined when the result is destroyed. Where
// no thread is to be had, the work is done at once on the calling thread.
inline std::unique_ptr<WorkBeside> StartOnThreadBeside(std::function<void()> work) {
  class ThreadBeside final : public WorkBeside {
   public:
    explicit ThreadBeside(std::function<void()> run) : thread_(std::move(run)) {}

   private:
    base::WorkerThread thread_;
  };
  try {
    return std::make_unique<ThreadBeside>(work);
  } catch (const std::system_error&) {
    work();
    return std::make_unique<WorkBeside>();
  }
}

}  // namespace engine
