// What the run and merge targets share: a host that never waits for anyone,
// a small game folder held in memory, and what every run must leave.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/installer_host.h"
#include "tests/engine/fs/memory_file_system.h"

namespace fuzz {

// Answers every question from a bit pattern and asks for a cancel at a
// chosen check; counts how the run ended.
class FuzzHost final : public engine::InstallerHost {
 public:
  FuzzHost(std::uint8_t answers, int cancel_at) : answers_(answers), cancel_at_(cancel_at) {}

  void SetStatusText(const char16_t*) override {}
  void SetButtonText(const char16_t*) override {}
  bool AskYesNo(const char16_t*) override {
    const bool yes = (answers_ & 1) != 0;
    answers_ >>= 1;
    return yes;
  }
  void ShowError(const char16_t*) override { ++errors; }
  void CloseDialog() override { ++closes; }
  bool IsCancelRequested() override { return ++checks == cancel_at_; }
  void MarkFinished() override { ++finishes; }

  int errors = 0;
  int closes = 0;
  int finishes = 0;
  int checks = 0;

 private:
  std::uint8_t answers_;
  int cancel_at_;
};

// The zip archive of `entries` (name, content), deflated, as minizip writes
// it; with `zip64`, every entry carries the Zip64 extra field.
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries,
                    bool zip64 = false);

// The game folder that the run targets' patches are made against: loose
// files, curver.txt at version 5 "online", and one archive.
engine::test::MemoryFileSystem MakeGame();

// Checks what any run leaves, whatever its patch: nothing outside the game
// folder is changed, the run ends exactly one way, a failure before the
// commit leaves every game file as it was, and a success, or a failure
// before the commit, leaves no staged copy. `initial` is the folder before
// the run, `game` after it. `kept` is the key of a file that a removal made
// to fail had to leave, or empty: the clean-up after a failure is best
// effort.
void CheckRunOutcome(const engine::test::MemoryFileSystem& initial,
                     const engine::test::MemoryFileSystem& game, const FuzzHost& host,
                     const std::string& kept = "");

}  // namespace fuzz
