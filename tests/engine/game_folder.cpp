#include "game_folder.h"

#include <algorithm>

#include "tests/support/files.h"

namespace engine::test {

namespace fs = std::filesystem;

GameFolder::GameFolder() : previous_directory_(fs::current_path()) {
  fs::current_path(root_.path());
}

GameFolder::~GameFolder() { fs::current_path(previous_directory_); }

void GameFolder::Write(const std::string& path, const Bytes& content) const {
  test_support::WriteBytes(root_ / path, content);
}

void GameFolder::Write(const std::string& path, const std::string& content) const {
  test_support::WriteText(root_ / path, content);
}

std::string GameFolder::Read(const std::string& path) const {
  return Exists(path) ? test_support::ReadText(root_ / path) : "<missing>";
}

bool GameFolder::Exists(const std::string& path) const { return fs::exists(root_ / path); }

std::map<std::string, std::string> GameFolder::Files() const {
  return test_support::Snapshot(root_.path());
}

std::vector<std::string> GameFolder::Directories() const {
  std::vector<std::string> directories;
  for (const auto& entry : fs::recursive_directory_iterator(root_.path())) {
    if (entry.is_directory()) {
      directories.push_back(fs::relative(entry.path(), root_.path()).string());
    }
  }
  std::sort(directories.begin(), directories.end());
  return directories;
}

std::vector<std::string> GameFolder::StagedLeftovers() const {
  std::vector<std::string> staged;
  for (const auto& [path, content] : Files()) {
    if (path.ends_with(".updtmp")) staged.push_back(path);
  }
  return staged;
}

}  // namespace engine::test
