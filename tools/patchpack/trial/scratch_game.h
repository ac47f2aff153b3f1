// A throw-away copy of a game folder for a trial installation, so that a
// check run never touches the author's game. The copy lives in a fresh
// temporary folder and is removed with this object.
#pragma once

#include <filesystem>

namespace patchpack {

class ScratchGame {
 public:
  // Copies `game` (links are copied as links, never followed). Throws
  // CommandError naming the folder and the reason.
  explicit ScratchGame(const std::filesystem::path& game);
  ~ScratchGame();
  ScratchGame(const ScratchGame&) = delete;
  ScratchGame& operator=(const ScratchGame&) = delete;

  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path root_;
  std::filesystem::path folder_;
};

// Makes a folder the current directory for the life of this object, as the
// installation run works in the current directory.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& folder);
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

}  // namespace patchpack
