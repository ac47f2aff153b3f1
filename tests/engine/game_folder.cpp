#include "game_folder.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace engine::test {

namespace fs = std::filesystem;

GameFolder::GameFolder() : previous_directory_(fs::current_path()) {
  std::string pattern = (fs::temp_directory_path() / "game-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  fs::current_path(root_);
}

GameFolder::~GameFolder() {
  fs::current_path(previous_directory_);
  std::error_code ignored;
  fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root_, ignored);
}

void GameFolder::Write(const std::string& path, const Bytes& content) const {
  Write(path, std::string(content.begin(), content.end()));
}

void GameFolder::Write(const std::string& path, const std::string& content) const {
  const fs::path full = root_ / path;
  fs::create_directories(full.parent_path());
  std::ofstream file(full, std::ios::binary | std::ios::trunc);
  file << content;
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string GameFolder::Read(const std::string& path) const {
  std::ifstream file(root_ / path, std::ios::binary);
  if (!file) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool GameFolder::Exists(const std::string& path) const { return fs::exists(root_ / path); }

std::map<std::string, std::string> GameFolder::Files() const {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = fs::relative(entry.path(), root_).string();
    files[relative] = Read(relative);
  }
  return files;
}

std::vector<std::string> GameFolder::Directories() const {
  std::vector<std::string> directories;
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    if (entry.is_directory()) directories.push_back(fs::relative(entry.path(), root_).string());
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
