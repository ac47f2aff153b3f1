#include "engine/folder_flush.h"

#include <set>

namespace engine {

bool FlushFoldersOf(const std::vector<std::string>& paths, FileSystem& file_system) {
  // Paths in one folder share the part before their last separator; one
  // spelled in other letter case is flushed twice, which does no harm.
  std::set<std::string> folders;
  bool flushed = true;
  for (const std::string& path : paths) {
    const std::size_t separator = path.find_last_of("\\/");
    const std::string folder = separator == std::string::npos ? "" : path.substr(0, separator);
    if (folders.insert(folder).second && !file_system.FlushFolderOf(path)) flushed = false;
  }
  return flushed;
}

}  // namespace engine
