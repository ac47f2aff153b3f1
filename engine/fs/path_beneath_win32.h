// Holds open every folder on the way from the game folder (the current
// directory) to the last component of a stream path, each one opened as
// itself (FILE_FLAG_OPEN_REPARSE_POINT) and refused when it is a reparse
// point (a junction, a mount point, a symbolic link) or not a folder at all:
// a name looked up through the held folders cannot lead outside the game
// folder. The handles are shared with readers and writers but not with
// deleters, so while they are held none of those folders can be renamed,
// removed or replaced by a junction; the caller keeps the walk alive until
// its call on the path has finished. The last component is not opened: what
// stands there is the caller's business (a link there is replaced or
// removed, never followed).
//
// The current directory is held by the process in the same way, and a path
// that would leave it (a root, a drive, "..", a stream name) is refused.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/unique_handle_win32.h"

namespace engine {

class FoldersOnTheWay {
 public:
  // Walks `stream_path` (separated by '\' or '/'). On failure no handle is
  // kept, and error() says why; the thread's last error is set to it too.
  explicit FoldersOnTheWay(const std::string& stream_path);

  // Every folder on the way is a real folder, and held.
  bool held() const { return error_ == ERROR_SUCCESS; }
  // ERROR_PATH_NOT_FOUND when a folder on the way does not exist,
  // ERROR_CANT_ACCESS_FILE when one is a reparse point, ERROR_DIRECTORY when
  // a file stands there, ERROR_BAD_PATHNAME when the path leaves the game
  // folder; otherwise what the system answered the open.
  DWORD error() const { return error_; }

 private:
  std::vector<base::UniqueHandle> folders_;
  DWORD error_ = ERROR_SUCCESS;
};

}  // namespace engine
