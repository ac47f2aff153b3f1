#include "fuzz/fuzz_game.h"

#include <minizip/zip.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "engine/commit_journal.h"
#include "fuzz/fuzz_check.h"

namespace fuzz {
namespace {

using engine::test::MemoryFileSystem;

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Whether the run got as far as the commit point: the rename that marks the
// journal done. A failure before it restores every target; after it, what
// was done stays done.
bool ReachedCommit(const std::vector<std::string>& changes) {
  const std::string point =
      std::string("RenameReplacing ") + engine::kJournalPath + " " + engine::kCommittedPath;
  for (const std::string& change : changes) {
    if (change == point) return true;
  }
  return false;
}

void PrintDifferences(const MemoryFileSystem& initial, const MemoryFileSystem& game) {
  for (const std::string& change : game.changes) std::fprintf(stderr, "%s\n", change.c_str());
  for (const auto& [key, contents] : game.files) {
    const auto before = initial.files.find(key);
    if (before == initial.files.end() || before->second != contents) {
      std::fprintf(stderr, "changed: %s\n", key.c_str());
    }
  }
  for (const auto& [key, contents] : initial.files) {
    if (!game.files.contains(key)) std::fprintf(stderr, "missing: %s\n", key.c_str());
  }
}

}  // namespace

std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries, bool zip64) {
  MemoryFileSystem file_system;
  zlib_filefunc64_def functions = file_system.ZipFileFunctions();
  zipFile zip = zipOpen2_64("a.zip", APPEND_STATUS_CREATE, nullptr, &functions);
  if (zip == nullptr) std::abort();
  for (const auto& [name, content] : entries) {
    if (zipOpenNewFileInZip64(zip, name.c_str(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                              Z_DEFLATED, 6, zip64 ? 1 : 0) != ZIP_OK ||
        zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size())) != ZIP_OK ||
        zipCloseFileInZip(zip) != ZIP_OK) {
      std::abort();
    }
  }
  if (zipClose(zip, nullptr) != ZIP_OK) std::abort();
  return file_system.files.at("a.zip");
}

MemoryFileSystem MakeGame() {
  MemoryFileSystem game;
  game.AddFile("sv.exe", "MZ game");
  game.AddFile("data/game.ini", "[game]\r\n");
  game.AddFile("data/maps/a.bin", std::string(100, 'a'));
  game.AddFile("curver.txt", "5\r\nonline");
  game.AddFile("data/textures.zip",
               MakeZip({{"a.txt", "alpha"}, {"b.txt", "bravo"}, {"c/d.txt", "delta"}}));
  return game;
}

void CheckRunOutcome(const MemoryFileSystem& initial, const MemoryFileSystem& game,
                     const FuzzHost& host, const std::string& kept) {
  for (const std::string& path : game.outside_paths) {
    std::fprintf(stderr, "outside: %s\n", path.c_str());
  }
  FUZZ_CHECK(game.outside_paths.empty());

  const bool succeeded = host.finishes == 1 && host.closes == 0 && host.errors == 0;
  const bool failed = host.finishes == 0 && host.closes == 1 && host.errors <= 1;
  FUZZ_CHECK(succeeded != failed);
  const bool committed = ReachedCommit(game.changes);
  if (failed && !committed && game.files != initial.files) {
    std::map<std::string, std::string> files = game.files;
    files.erase(kept);
    if (files != initial.files) {
      PrintDifferences(initial, game);
      FUZZ_CHECK(files == initial.files);
    }
  }
  if (succeeded || !committed) {
    // A staged copy stands beside its target; a target that the stream itself
    // names "....updtmp" is no staged copy.
    for (const auto& [key, contents] : game.files) {
      const bool staged_copy = key != kept && EndsWith(key, ".updtmp") &&
                               game.files.contains(key.substr(0, key.size() - 7));
      if (staged_copy) std::fprintf(stderr, "left: %s\n", key.c_str());
      FUZZ_CHECK(!staged_copy);
    }
  }
}

}  // namespace fuzz
