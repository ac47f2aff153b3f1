#include "engine/background_task.h"

#include <utility>

namespace engine {

BackgroundTask::BackgroundTask(FileSystem& file_system, std::function<void()> work)
    : work_(file_system.StartBeside([this, work = std::move(work)] {
        try {
          work();
        } catch (...) {
          failure_ = std::current_exception();
        }
      })) {}

BackgroundTask::~BackgroundTask() { work_.reset(); }

void BackgroundTask::Wait() {
  work_.reset();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

}  // namespace engine
