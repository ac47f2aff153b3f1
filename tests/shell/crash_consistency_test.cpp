// The real console installer on a real game, killed with SIGKILL at many
// instants: before and after every creation, link, rename, removal and
// flush that it makes (counted by the preload library kill_points), and at
// moments spread over its whole run. After each kill: up to the first
// replacement every game file is byte-identical; later, every file is
// wholly old or wholly new, curver.txt included; and a second run completes
// and leaves the folder byte for byte as a clean installation does.
//
// PI_CRASH_TIMED_POINTS sets how many timed kills to add (by default enough
// for 210 points in all); scripts/crash-campaign.sh runs a longer campaign.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <set>
#include <sstream>

#include "tests/shell/installer_fixture.h"

namespace installer_test {
namespace {

using ::testing::HasSubstr;
using Files = std::map<std::string, std::string>;

// Timed kills fill the counted ones up to this many points, and are never
// fewer than kMinTimedPoints.
constexpr int kMinPoints = 210;
constexpr int kMinTimedPoints = 40;
constexpr int kArchives = 3;
constexpr int kEntriesPerArchive = 1200;
constexpr int kDeletions = 40;

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The old archives, written by Python's zipfile as another tool would.
void WriteOldArchives(const fs::path& game) {
  std::ostringstream script;
  script << "import zipfile, sys\n"
         << "for a in range(" << kArchives << "):\n"
         << "  with zipfile.ZipFile(sys.argv[1] + '/data/pack%d.zip' % a, 'w', "
            "zipfile.ZIP_DEFLATED) as z:\n"
         << "    for e in range(" << kEntriesPerArchive << "):\n"
         << "      z.writestr('e%04d.txt' % e, ('old entry %d of %d ' % (e, a)) * (1 + e % 7))\n";
  const RunResult run = RunProgram(
      "/usr/bin/python3", {.arguments = {"-c", script.str(), game.string()}, .directory = game});
  ASSERT_EQ(run.exit_code, 0) << run.err;
}

payload::PatchDescription CrashPatch() {
  payload::PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {{"sv.exe", AsBytes(std::string(200000, 'N'))},
                       {"data\\game.ini", AsBytes("[game]\r\nversion=14\r\n")},
                       {"data\\maps\\new.map", AsBytes("a new map")},
                       {"readme.txt", AsBytes("new readme")}};
  for (int a = 0; a < kArchives; ++a) {
    payload::ArchiveRecord archive{.path = "data\\pack" + std::to_string(a) + ".zip"};
    for (int e = 0; e < 30; e += 3) {
      char name[16];
      std::snprintf(name, sizeof name, "e%04d.txt", e);
      archive.new_entries.push_back({name, AsBytes("new entry " + std::to_string(e))});
    }
    archive.new_entries.push_back({"added.txt", AsBytes("added to " + std::to_string(a))});
    for (int e = 1; e < 30; e += 3) {
      char name[16];
      std::snprintf(name, sizeof name, "e%04d.txt", e);
      archive.drop_names.push_back(name);
    }
    patch.archives.push_back(archive);
  }
  for (int d = 0; d < kDeletions; ++d) patch.deletions.push_back("old\\f" + std::to_string(d));
  return patch;
}

class CrashConsistencyTest : public InstallerTest {
 protected:
  void MakeOldGame(const fs::path& game) {
    WriteText(game / "sv.exe", std::string(150000, 'O'));
    WriteText(game / "data" / "game.ini", "[game]\r\nversion=13\r\n");
    WriteText(game / "readme.txt", "old readme");
    WriteText(game / "curver.txt", "13\r\nonline");
    for (int d = 0; d < kDeletions; ++d) WriteText(game / "old" / ("f" + std::to_string(d)), "x");
    WriteOldArchives(game);
  }

  RunResult Install(const fs::path& game, std::map<std::string, std::string> environment,
                    int kill_after_milliseconds = 0) {
    environment["LD_PRELOAD"] = PI_KILL_POINTS;
    // The preload library comes before the sanitizer's runtime; that is fine.
    environment["ASAN_OPTIONS"] = "verify_asan_link_order=0";
    return RunInstaller(installer_, {.directory = game,
                                     .environment = environment,
                                     .kill_after_milliseconds = kill_after_milliseconds});
  }

  // Files that only a run in progress makes: staged copies, backups, the
  // journal and the run's lock. They may stay after a kill; the next run
  // deals with them.
  static bool IsRunLeftover(const std::string& path) {
    return path.ends_with(".updtmp") || path.ends_with(".updbak") ||
           path.starts_with("updcommit.") || path == "updrun.lock";
  }

  static Files GameFiles(const fs::path& game) {
    Files files;
    for (auto& [path, content] : Snapshot(game)) {
      if (!IsRunLeftover(path)) files[path] = content;
    }
    return files;
  }

  void CheckKilled(const fs::path& game, const std::string& point, bool before_first_replacement) {
    SCOPED_TRACE(point);
    const Files now = GameFiles(game);
    if (before_first_replacement) {
      EXPECT_TRUE(now == old_) << "a game file changed before the first replacement";
    }
    std::set<std::string> paths;
    for (const Files* files : std::initializer_list<const Files*>{&old_, &new_, &now}) {
      for (const auto& [path, content] : *files) paths.insert(path);
    }
    for (const std::string& path : paths) {
      auto value = [&](const Files& files) {
        const auto found = files.find(path);
        return found == files.end() ? std::string("<missing>") : found->second;
      };
      const std::string content = value(now);
      EXPECT_TRUE(content == value(old_) || content == value(new_))
          << path << " is neither wholly old nor wholly new";
    }
    const RunResult second = RunInstaller(installer_, {.directory = game});
    EXPECT_EQ(second.exit_code, 0) << second.err;
    EXPECT_TRUE(Snapshot(game) == new_) << "the second run did not complete the installation";
  }

  // Makes the installer, the old game and the new one (by a clean run,
  // with `environment`); returns how long the clean run took.
  std::chrono::steady_clock::duration Prepare(std::map<std::string, std::string> environment) {
    installer_ = MakeInstaller(CrashPatch());
    pristine_ = root_ / "pristine";
    MakeOldGame(pristine_);
    old_ = Snapshot(pristine_);
    const fs::path reference = root_ / "reference";
    fs::copy(pristine_, reference, fs::copy_options::recursive);
    const auto started = std::chrono::steady_clock::now();
    const RunResult clean = Install(reference, environment);
    const auto run_time = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(clean.exit_code, 0) << clean.err;
    new_ = Snapshot(reference);
    EXPECT_EQ(new_["curver.txt"], "14\r\nonline");
    return run_time;
  }

  fs::path installer_;
  fs::path pristine_;
  Files old_;  // the game before
  Files new_;  // after a clean installation
};

TEST_F(CrashConsistencyTest, KilledAtAnyInstantTheGameIsWhollyOldOrNewAndASecondRunCompletes) {
  const fs::path log = root_ / "calls.log";
  const auto run_time = Prepare({{"PI_CALL_LOG", log.string()}});
  ASSERT_FALSE(HasFailure());

  std::vector<std::string> calls;
  {
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) calls.push_back(line);
  }
  // The first call that changes a game file: a staged copy renamed onto its
  // target (the journal's own rename changes none).
  const auto first_replacement = std::find_if(calls.begin(), calls.end(), [](const std::string& c) {
    return c.starts_with("rename ") && c.find(".updtmp ") != std::string::npos &&
           !c.ends_with(" updcommit.lst");
  });
  ASSERT_NE(first_replacement, calls.end());
  const long first_replacement_number = first_replacement - calls.begin() + 1;

  int points = 0;
  for (long n = 1; n <= static_cast<long>(calls.size()); ++n) {
    const fs::path game = root_ / ("counted" + std::to_string(n));
    fs::copy(pristine_, game, fs::copy_options::recursive);
    const RunResult killed = Install(game, {{"PI_KILL_AT", std::to_string(n)}});
    EXPECT_EQ(killed.exit_code, 128 + SIGKILL) << "not killed before call " << n;
    CheckKilled(game, "before call " + std::to_string(n) + ": " + calls[n - 1],
                n <= first_replacement_number);
    fs::remove_all(game);
    ++points;
  }

  const char* timed_setting = std::getenv("PI_CRASH_TIMED_POINTS");
  const int timed = timed_setting != nullptr
                        ? std::atoi(timed_setting)
                        : std::max(kMinTimedPoints, kMinPoints - static_cast<int>(calls.size()));
  const auto total_ms = std::chrono::duration_cast<std::chrono::milliseconds>(run_time).count();
  for (int t = 1; t <= timed; ++t) {
    const int after = static_cast<int>(total_ms * t / (timed + 1)) + 1;
    const fs::path game = root_ / ("timed" + std::to_string(t));
    fs::copy(pristine_, game, fs::copy_options::recursive);
    Install(game, {}, after);
    CheckKilled(game, "killed after " + std::to_string(after) + " ms", false);
    fs::remove_all(game);
    ++points;
  }
  std::cout << "[ FIGURES  ] " << points << " kill points: " << calls.size()
            << " counted calls (the first replacement is call " << first_replacement_number
            << ") and " << timed << " instants spread over a run of " << total_ms << " ms\n";
  EXPECT_GE(points, 200);
}

// Two installers started together in one game folder, as a player who
// starts the installer twice would. One takes the folder; the other ends
// with an error and changes nothing. In every other trial one of the two is
// killed partway, at instants spread over a run. Afterwards every file is
// wholly old or new and another run completes, as after any kill.
TEST_F(CrashConsistencyTest, TwoRunsStartedTogetherNeitherSpoilsTheOther) {
  const auto run_time = Prepare({});
  ASSERT_FALSE(HasFailure());
  const auto total_ms = std::chrono::duration_cast<std::chrono::milliseconds>(run_time).count();
  constexpr int kTrials = 12;
  int refused = 0;
  int succeeded = 0;
  for (int t = 0; t < kTrials; ++t) {
    const fs::path game = root_ / ("race" + std::to_string(t));
    fs::copy(pristine_, game, fs::copy_options::recursive);
    const int kill_after = t % 2 == 1 ? static_cast<int>(total_ms * t / kTrials) + 1 : 0;
    std::future<RunResult> first =
        std::async(std::launch::async, [&] { return Install(game, {}, kill_after); });
    const RunResult second = Install(game, {});
    const RunResult one = first.get();
    const std::string trial = "trial " + std::to_string(t);
    int finished = 0;
    for (const RunResult* run : {&one, &second}) {
      if (run->exit_code == 128 + SIGKILL) continue;
      if (run->exit_code == 0) {
        ++succeeded;
        ++finished;
        continue;
      }
      ++refused;
      EXPECT_THAT(run->out + run->err, HasSubstr("Unknown error")) << trial;
    }
    if (kill_after == 0) {
      EXPECT_GE(finished, 1) << trial << ": neither run completed";
      EXPECT_TRUE(GameFiles(game) == new_) << trial << ": the game is not the new one";
    }
    CheckKilled(game, trial, false);
    fs::remove_all(game);
  }
  std::cout << "[ FIGURES  ] " << kTrials << " races of two runs (" << kTrials / 2
            << " with a kill): " << succeeded << " runs completed, " << refused
            << " found the folder taken\n";
  // Most runs take longer than the other's start: some must have met.
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace installer_test
