#include "tools/patchpack/trial/scratch_game.h"

#include <random>
#include <string>

#include "tools/patchpack/report/command_error.h"
#include "tools/patchpack/source/source_file.h"

namespace patchpack {

namespace fs = std::filesystem;

ScratchGame::ScratchGame(const fs::path& game) {
  RequireFolder(game, "GAME");
  std::error_code error;
  // A fresh folder of a random name: create_directory fails on one that exists.
  fs::path temp = fs::temp_directory_path(error);
  std::random_device random;
  for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
    fs::path candidate = temp / ("patchpack-verify-" + std::to_string(random()));
    if (fs::create_directory(candidate, error)) root_ = candidate;
  }
  if (root_.empty()) {
    throw CommandError("cannot make a scratch folder in " + temp.string() + ": " + error.message());
  }
  folder_ = root_ / "game";
  fs::copy(game, folder_, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  if (error) {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    throw CommandError("cannot copy " + game.string() + " to a scratch folder: " + error.message());
  }
}

ScratchGame::~ScratchGame() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

WorkingDirectory::WorkingDirectory(const fs::path& folder) {
  std::error_code error;
  previous_ = fs::current_path(error);
  if (error) throw CommandError("cannot find the current folder: " + error.message());
  fs::current_path(folder, error);
  if (error) throw CommandError("cannot enter " + folder.string() + ": " + error.message());
}

WorkingDirectory::~WorkingDirectory() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
}

}  // namespace patchpack
