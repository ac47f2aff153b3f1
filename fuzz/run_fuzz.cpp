// A whole installation run over a fuzzed patch stream, in a game folder held
// in memory. The first input byte scripts the answers to the questions, the
// second the check at which the user cancels; the rest is the stream, which
// the target packs into a valid payload so that the run gets past its checks.
//
// Whatever the stream says: nothing outside the game folder is changed, the
// run ends exactly one way, a failure before the commit leaves every game
// file as it was, and a success leaves no staged file behind.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <span>
#include <string>

#include "engine/commit_journal.h"
#include "engine/run_installation.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_game.h"
#include "payload/payload_writer.h"

namespace {

engine::test::MemoryFileSystem MakeGame() {
  engine::test::MemoryFileSystem game;
  game.AddFile("sv.exe", "MZ game");
  game.AddFile("data/game.ini", "[game]\r\n");
  game.AddFile("data/maps/a.bin", std::string(100, 'a'));
  game.AddFile("curver.txt", "5\r\nonline");
  game.AddFile("data/textures.zip",
               fuzz::MakeZip({{"a.txt", "alpha"}, {"b.txt", "bravo"}, {"c/d.txt", "delta"}}));
  return game;
}

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const engine::test::MemoryFileSystem initial = MakeGame();
  engine::test::MemoryFileSystem game = initial;
  fuzz::FuzzHost host(data[0], data[1]);
  // The fastest preset: the run reads the stream, not how well it packs,
  // and setting up the default one's match finder cost more than the run.
  const payload::Bytes payload =
      payload::BuildPayload(std::span(data + 2, size - 2), {.preset = 0});

  const int result = engine::RunInstallation(
      host, game, [&] { return std::optional<std::span<const std::uint8_t>>(payload); });
  FUZZ_CHECK(result == 0);
  for (const std::string& path : game.outside_paths)
    std::fprintf(stderr, "outside: %s\n", path.c_str());
  FUZZ_CHECK(game.outside_paths.empty());

  const bool succeeded = host.finishes == 1 && host.closes == 0 && host.errors == 0;
  const bool failed = host.finishes == 0 && host.closes == 1 && host.errors <= 1;
  FUZZ_CHECK(succeeded != failed);
  if (failed && !ReachedCommit(game.changes) && game.files != initial.files) {
    for (const std::string& change : game.changes) std::fprintf(stderr, "%s\n", change.c_str());
    for (const auto& [key, contents] : game.files) {
      const auto before = initial.files.find(key);
      if (before == initial.files.end() || before->second != contents)
        std::fprintf(stderr, "changed: %s\n", key.c_str());
    }
    for (const auto& [key, contents] : initial.files) {
      if (!game.files.contains(key)) std::fprintf(stderr, "missing: %s\n", key.c_str());
    }
    FUZZ_CHECK(game.files == initial.files);
  }
  // A success, or a failure before the commit, leaves no staged copy.
  if (succeeded || !ReachedCommit(game.changes)) {
    // A staged copy stands beside its target; a target that the stream itself
    // names "....updtmp" is no staged copy.
    for (const auto& [key, contents] : game.files) {
      const bool staged_copy =
          EndsWith(key, ".updtmp") && game.files.contains(key.substr(0, key.size() - 7));
      if (staged_copy) std::fprintf(stderr, "left: %s\n", key.c_str());
      FUZZ_CHECK(!staged_copy);
    }
  }
  return 0;
}
