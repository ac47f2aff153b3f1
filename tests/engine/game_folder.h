// A temporary game folder on the real disk that is the current directory for
// as long as it lives, as the game folder is during a run; with helpers to
// lay out files and to take a snapshot of everything in it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace engine::test {

using Bytes = std::vector<std::uint8_t>;

class GameFolder {
 public:
  GameFolder();
  ~GameFolder();
  GameFolder(const GameFolder&) = delete;
  GameFolder& operator=(const GameFolder&) = delete;

  // Paths are relative, with '/'; parent folders are created.
  void Write(const std::string& path, const Bytes& content) const;
  void Write(const std::string& path, const std::string& content) const;
  std::string Read(const std::string& path) const;
  bool Exists(const std::string& path) const;

  // Every regular file, by relative path, with its content.
  std::map<std::string, std::string> Files() const;
  // Every directory, by relative path.
  std::vector<std::string> Directories() const;
  // The staged copies (names ending in .updtmp) anywhere in the folder.
  std::vector<std::string> StagedLeftovers() const;

 private:
  std::filesystem::path previous_directory_;
  // Made after the directory is recorded and removed after it is restored.
  test_support::TempDir root_{"game"};
};

}  // namespace engine::test
