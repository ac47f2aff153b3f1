// Whether a path from the patch stream names something inside the game
// folder. The installer runs with administrator rights, so a stream that
// names a file elsewhere, however it came to be, must not reach it.
#pragma once

#include <cstddef>
#include <string_view>

namespace engine {

// False for a path that starts at a root (`\`, `/`), names a drive or a
// stream of a file (any `:`), or has a `..` part, with either separator.
inline bool StaysInGameFolder(std::string_view path) {
  if (path.empty() || path.front() == '\\' || path.front() == '/') return false;
  if (path.find(':') != std::string_view::npos) return false;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace engine
