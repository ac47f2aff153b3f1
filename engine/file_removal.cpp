#include "engine/file_removal.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "engine/background_task.h"

namespace engine {
namespace {

constexpr std::size_t kRemovalThreads = 8;

}  // namespace

std::vector<std::string> RemoveFiles(const std::vector<std::string>& paths,
                                     FileSystem& file_system) {
  const std::size_t parts = std::min(kRemovalThreads, paths.size());
  std::vector<std::vector<std::string>> removed(parts);
  const auto remove_part = [&](std::size_t part) {
    for (std::size_t i = paths.size() * part / parts; i < paths.size() * (part + 1) / parts; ++i) {
      if (file_system.RemoveFile(paths[i])) removed[part].push_back(paths[i]);
    }
  };
  if (parts > 0) {
    std::vector<std::unique_ptr<BackgroundTask>> beside;
    for (std::size_t part = 0; part + 1 < parts; ++part) {
      beside.push_back(std::make_unique<BackgroundTask>(
          file_system, [&remove_part, part] { remove_part(part); }));
    }
    remove_part(parts - 1);
    for (const std::unique_ptr<BackgroundTask>& task : beside) task->Wait();
  }
  std::vector<std::string> all_removed;
  for (std::vector<std::string>& part : removed) {
    all_removed.insert(all_removed.end(), std::make_move_iterator(part.begin()),
                       std::make_move_iterator(part.end()));
  }
  return all_removed;
}

}  // namespace engine
