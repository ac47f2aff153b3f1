// Cuts the power at every instant of a representative run and of the
// recovery that follows one, over the in-memory file system, which keeps
// what reached the disk apart from what was only written. The instants are
// the moments before each file-system call, inside each rename and link
// between the name's change and its flush, and after the last call. For
// each, the cut is settled several ways: nothing unflushed kept, everything
// kept (as a kill would leave it), and a seeded sample of random mixes.
// Then the installer starts again on what survived, and after its recovery:
// the replaced files are all old or all new, every other file is old or
// new, a record that says the new version means the whole game is new, the
// tag is kept, and no backup or journal is left; the run that follows
// completes the install byte for byte. Where the recovery had work to do,
// the power is cut at every instant of it as well.
//
// PI_POWER_CUT_SAMPLES sets the random mixes per instant (3 by default);
// scripts/power-cut-sweep.sh runs a longer sweep.
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "engine/commit_journal.h"
#include "engine/install_error.h"
#include "fs/faulty_file_system.h"
#include "fs/memory_file_system.h"
#include "installation_test.h"
#include "zip_contents.h"

namespace engine::test {
namespace {

using Files = std::map<std::string, std::string>;
using Cut = MemoryFileSystem::Cut;

// A replaced file in folders named in other letter case, a new file in new
// folders, a file emptied, an archive that gains an entry, replaces one and
// drops one, two deletions (one of a missing file), and a record whose tag
// must survive.
PatchDescription ReferencePatch() {
  PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {Entry("DATA\\Maps\\a.bin", "new a"), Entry("new\\dir\\b.txt", "bee"),
                       Entry("readme.txt", "")};
  patch.archives = {
      {"Data\\pack.zip", {Entry("e.txt", "new e"), Entry("f.txt", "new f")}, {"old.txt"}}};
  patch.deletions = {"old.dat", "missing.dat"};
  return patch;
}

// The targets that the commit replaces all together, as file keys.
const std::set<std::string> kTargets = {"data/maps/a.bin", "new/dir/b.txt", "readme.txt",
                                        "data/pack.zip"};

bool IsOwnName(const std::string& key) {
  return key.ends_with(kStagedSuffix) || key.ends_with(kBackupSuffix) || key == kJournalPath ||
         key == kCommittedPath;
}

std::optional<std::string> At(const Files& files, const std::string& key) {
  const auto found = files.find(key);
  if (found == files.end()) return std::nullopt;
  return found->second;
}

// The file system at one instant of a run, with where that instant lies.
struct Instant {
  std::string where;
  MemoryFileSystem disk;
};

// Every instant of `action` over `game`, which it leaves as `action` did.
std::vector<Instant> InstantsOf(MemoryFileSystem& game,
                                const std::function<void(FileSystem&)>& action) {
  std::vector<Instant> instants;
  FaultyFileSystem counting(game);
  counting.before_call = [&](const std::string& call) {
    instants.push_back(
        {"before call " + std::to_string(counting.calls.size() + 1) + " (" + call + ")", game});
  };
  game.between_change_and_flush = [&] {
    instants.push_back({"inside call " + std::to_string(counting.calls.size()) + " (" +
                            counting.calls.back() + ")",
                        game});
  };
  action(counting);
  game.between_change_and_flush = nullptr;
  instants.push_back(
      {"after the last of " + std::to_string(counting.calls.size()) + " calls", game});
  for (Instant& instant : instants) instant.disk.between_change_and_flush = nullptr;
  return instants;
}

int SamplesPerInstant() {
  const char* samples = std::getenv("PI_POWER_CUT_SAMPLES");
  return samples != nullptr ? std::atoi(samples) : 3;
}

class PowerCutTest : public InstallationTest {
 protected:
  PowerCutTest() {
    // The old archive comes from minizip's own writer, through a real file.
    WriteZip("pack.zip", {{"F.TXT", "old f"}, {"old.txt", "obsolete"}, {"keep.txt", "kept"}});
    old_game_.AddFile("data/pack.zip", folder.Read("pack.zip"));
    old_game_.AddFile("data/maps/a.bin", "old a");
    old_game_.AddFile("readme.txt", "old readme");
    old_game_.AddFile("old.dat", "obsolete");
    old_game_.AddFile("keep.txt", "kept");
    old_game_.AddFile("curver.txt", "13\r\nonline");
    old_game_files_ = old_game_.files;
  }

  void Install(FileSystem& file_system) {
    host = ScriptedHost();
    Run(payload_, file_system);
  }

  // Every way a cut at `instant` is settled, each checked as the class
  // comment says; `nested` cuts the recovery too, where it has work to do.
  void CutEveryWay(const Instant& instant, bool nested) {
    std::vector<Cut> cuts = {Cut::kKeepNothing, Cut::kKeepEverything};
    cuts.insert(cuts.end(), SamplesPerInstant(), Cut::kRandom);
    for (const Cut cut : cuts) {
      const std::uint32_t seed = next_seed_++;
      MemoryFileSystem disk = instant.disk;
      std::mt19937 random(seed);
      disk.CutPower(cut, random);
      ++cuts_made_;
      // Many cuts leave the same disk; each is started on once.
      if (!states_seen_.insert(Fingerprint(disk)).second) continue;
      const std::string context = instant.where + ", settled " + kCutNames[static_cast<int>(cut)] +
                                  " (seed " + std::to_string(seed) + ")";
      const bool recovery_has_work =
          disk.files.contains(kJournalPath) || disk.files.contains(kCommittedPath);
      if (nested && recovery_has_work) {
        MemoryFileSystem recovering = disk;
        for (const Instant& inside : InstantsOf(recovering, Recover)) {
          CutEveryWay({context + ", then " + inside.where + " of the recovery", inside.disk},
                      false);
        }
      }
      CheckStartAfterCut(disk, context);
    }
  }

  static std::string Fingerprint(const MemoryFileSystem& disk) {
    std::string print;
    for (const auto& [key, contents] : disk.files) {
      print += key + '\0' + std::to_string(contents.size()) + '\0' + contents;
    }
    for (const std::string& key : disk.directories) print += key + '\1';
    return print;
  }

  static void Recover(FileSystem& file_system) { RecoverInterruptedCommit(file_system); }

  void CheckStartAfterCut(MemoryFileSystem disk, const std::string& context) {
    ++starts_checked_;
    std::vector<std::string> problems;
    try {
      Recover(disk);
      CheckOldOrNew(disk.files, problems);
    } catch (const InstallError&) {
      problems.push_back("the recovery could not undo the interrupted commit");
    }
    Install(disk);
    if (!host.Errors().empty()) problems.push_back("the next run failed: " + host.Errors().front());
    if (disk.files != new_game_) {
      problems.push_back("the next run did not complete the install:" + Differences(disk.files));
    }
    if (problems.empty() || ++failures_ > kMaxFailures) return;
    std::string report = context + ":";
    for (const std::string& problem : problems) report += "\n  " + problem;
    ADD_FAILURE() << report;
  }

  // The keys where `files` differs from the new game.
  std::string Differences(const Files& files) const {
    std::string differences;
    std::set<std::string> keys;
    for (const Files* each : std::initializer_list<const Files*>{&files, &new_game_}) {
      for (const auto& [key, contents] : *each) keys.insert(key);
    }
    for (const std::string& key : keys) {
      if (At(files, key) != At(new_game_, key)) differences += " " + key;
    }
    return differences;
  }

  // What the recovery leaves: as the file's comment says.
  void CheckOldOrNew(const Files& files, std::vector<std::string>& problems) const {
    Files game;
    for (const auto& [key, contents] : files) {
      if (key.ends_with(kStagedSuffix)) continue;  // the next run replaces them
      if (IsOwnName(key)) {
        problems.push_back(key + " is left");
      } else {
        game[key] = contents;
      }
    }
    std::set<std::string> keys;
    for (const Files* each :
         std::initializer_list<const Files*>{&game, &old_game_files_, &new_game_}) {
      for (const auto& [key, contents] : *each) keys.insert(key);
    }
    std::string old_targets;
    std::string new_targets;
    for (const std::string& key : keys) {
      const std::optional<std::string> now = At(game, key);
      const bool is_old = now == At(old_game_files_, key);
      const bool is_new = now == At(new_game_, key);
      if (kTargets.contains(key)) {
        if (!is_old) new_targets += " " + key;
        if (!is_new) old_targets += " " + key;
      } else if (!is_old && !is_new) {
        problems.push_back(key + " is neither old nor new");
      }
    }
    if (!old_targets.empty() && !new_targets.empty()) {
      problems.push_back("the replaced files are a mix: old" + old_targets + ", new" + new_targets);
    }
    if (At(game, "curver.txt") == At(new_game_, "curver.txt") && game != new_game_) {
      problems.push_back("the record says the new version over a game that is not:" +
                         Differences(game));
    }
  }

  static constexpr int kMaxFailures = 10;
  static constexpr const char* kCutNames[] = {"keeping nothing unflushed",
                                              "keeping all that was written", "at random"};

  const Bytes payload_ = payload::BuildPayload(payload::BuildPatchStream(ReferencePatch()));
  MemoryFileSystem old_game_;
  Files old_game_files_;
  Files new_game_;
  std::uint32_t next_seed_ = 19;
  std::set<std::string> states_seen_;
  int cuts_made_ = 0;
  int starts_checked_ = 0;
  int failures_ = 0;
};

TEST_F(PowerCutTest, EveryInstantOfARunAndOfItsRecoveryLeavesTheGameOldOrNew) {
  MemoryFileSystem game = old_game_;
  const std::vector<Instant> instants =
      InstantsOf(game, [&](FileSystem& file_system) { Install(file_system); });
  ASSERT_EQ(host.Errors(), std::vector<std::string>{});
  new_game_ = game.files;
  ASSERT_EQ(new_game_.at("curver.txt"), "14\r\nonline");
  ASSERT_FALSE(new_game_.contains("old.dat"));

  // A finished run is on the disk whole, however the cut falls.
  for (const Cut cut : {Cut::kKeepNothing, Cut::kRandom}) {
    MemoryFileSystem after = instants.back().disk;
    std::mt19937 random(19);
    after.CutPower(cut, random);
    EXPECT_EQ(Differences(after.files), "") << "a cut after the run lost part of the install";
  }

  for (const Instant& instant : instants) CutEveryWay(instant, true);
  std::cout << "[ FIGURES  ] " << instants.size() << " instants in the run; " << cuts_made_
            << " cuts, in it and in the recoveries, left " << starts_checked_
            << " different disks, each recovered, checked and installed on\n";
  EXPECT_EQ(failures_, 0) << "cuts that failed (at most " << kMaxFailures << " shown)";
}

}  // namespace
}  // namespace engine::test
