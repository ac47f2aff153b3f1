// Times a whole installation as a player meets it: the release console
// installer, carrying a patch shaped like the shipped one, run on a fresh
// copy of a 739 MB reference game (bench/reference_game.h), against the
// floor measured in the same rounds: decoding the same LZMA data with
// `xz -dc`, `cp` of every archive that the patch rewrites and of the loose
// files, then `sync`. The phases of each run are read from the times the
// file system keeps: a staged file's birth and last write bound its phase,
// the renames set the committed files' change times, and curver.txt is
// written last. Every run's game folder is checked entry by entry. A
// benchmark, not a test: it only prints, and fails only on a wrong install.
//
//   install_bench [--scale S] [--rounds N]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/process_timer.h"
#include "bench/reference_game.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "install_bench: %s\n", message.c_str());
  std::exit(1);
}

double Now() {
  timespec now{};
  // The coarse clock is the one that stamps files.
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

struct FileTimes {
  double birth = 0, modified = 0, changed = 0;
};

FileTimes TimesOf(const fs::path& path) {
  struct statx stx {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME | STATX_CTIME, &stx) != 0) {
    Fail("cannot stat " + path.string());
  }
  const auto seconds = [](const statx_timestamp& t) { return double(t.tv_sec) + t.tv_nsec * 1e-9; };
  return {seconds(stx.stx_btime), seconds(stx.stx_mtime), seconds(stx.stx_ctime)};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Run(const std::vector<std::string>& argv) { bench::RunProgram(argv); }

std::string Quoted(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted.append(path.string()).push_back('\'');
  return quoted;
}

// The peak memory of a child counts the memory of the process that forked
// it, and this one holds the whole patch for its checks: so the installer is
// started from a fresh small process, this program again with "--spawn",
// which writes the installer's own peak in KiB to a file.
int Spawn(const char* report, char** argv) {
  const pid_t child = fork();
  if (child == 0) {
    execv(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return 1;
  if (std::FILE* out = std::fopen(report, "w")) {
    std::fprintf(out, "%ld\n", usage.ru_maxrss);
    std::fclose(out);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--spawn") == 0) return Spawn(argv[2], argv + 3);
  double scale = 1.0;
  int rounds = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--scale") == 0) {
      scale = std::atof(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--rounds") == 0) {
      rounds = std::atoi(argv[i + 1]);
    } else {
      Fail("usage: install_bench [--scale S] [--rounds N]");
    }
  }
  if (scale <= 0 || scale > 1 || rounds < 1) Fail("--scale takes (0, 1], --rounds 1 or more");

  const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
  const fs::path dir = bin / "install-data";
  const bench::ReferenceGame game = bench::MakeReferenceGame(dir, scale);
  const fs::path installer = dir / "installer";
  Run({(bin / "../tools/patchpack/patchpack").string(), "attach",
       (bin / "../shell/console/patch-installer").string(), (dir / "payload.bin").string(), "-o",
       installer.string()});

  const fs::path work = dir / "work";
  // The floor copies from the fresh copy of the game, into a folder inside
  // it, as the installer writes beside the files it replaces.
  std::string floor_command = "xz -dc --format=raw --x86 --lzma1=lc=3,lp=0,pb=2,dict=64MiB ";
  floor_command.append(Quoted(dir / "payload.raw")).append(" >/dev/null && cp");
  for (const auto& archive : game.archives) {
    floor_command.append(" ").append(Quoted(work / archive.path));
  }
  floor_command.append(" ").append(Quoted(work / "floor")).append(" && cp ");
  floor_command.append(Quoted(game.loose_file_copy)).append(" ");
  floor_command.append(Quoted(work / "floor/sv.exe")).append(" && sync");

  std::vector<double> totals, floors, peaks;
  std::map<std::string, std::vector<double>> phases;
  std::vector<std::string> phase_order;
  const auto add_phase = [&](const std::string& name, double seconds) {
    if (!phases.contains(name)) phase_order.push_back(name);
    phases[name].push_back(seconds);
  };
  for (int round = 0; round < rounds; ++round) {
    // The two take turns at going first.
    for (int turn = 0; turn < 2; ++turn) {
      // Both start from the same state: a fresh copy of the game, on the
      // disk and in the page cache, and the memory of the last one just
      // freed. On a virtual machine whose host takes back freed memory
      // within seconds, writing into memory the guest has not touched
      // lately costs several times the copy itself; a floor that wrote into
      // pages freed a moment before would be measured on other terms.
      fs::remove_all(work);
      Run({"cp", "-a", (dir / "game").string(), work.string()});
      Run({"sync"});
      if ((turn == 0) == (round % 2 == 0)) {
        fs::current_path(work);
        const double start = Now();
        const bench::ProcessRun run =
            bench::RunProgram({(bin / "install_bench").string(), "--spawn", (dir / "peak").string(),
                               installer.string()});
        const double end = Now();
        fs::current_path(dir);
        totals.push_back(run.seconds);
        if (std::FILE* in = std::fopen((dir / "peak").c_str(), "r")) {
          long kib = 0;
          if (std::fscanf(in, "%ld", &kib) == 1) peaks.push_back(double(kib) / 1024);
          std::fclose(in);
        }

        const FileTimes exe = TimesOf(work / "sv.exe");
        add_phase("decode, start-up", exe.birth - start);
        add_phase("loose files", exe.modified - exe.birth);
        double last_write = exe.modified, first_rename = exe.changed, last_rename = exe.changed;
        for (const auto& archive : game.archives) {
          const FileTimes times = TimesOf(work / archive.path);
          add_phase(fs::path(archive.path).filename().string(), times.modified - times.birth);
          last_write = std::max(last_write, times.modified);
          first_rename = std::min(first_rename, times.changed);
          last_rename = std::max(last_rename, times.changed);
        }
        add_phase("flush", first_rename - last_write);
        add_phase("commit", last_rename - first_rename);
        const FileTimes version = TimesOf(work / "curver.txt");
        add_phase("deletions, curver.txt", version.modified - last_rename);
        add_phase("exit", end - version.modified);

        const std::string wrong = bench::CheckInstalled(dir / "game", work, game);
        if (!wrong.empty()) Fail("the installed game is wrong: " + wrong);
      } else {
        fs::create_directory(work / "floor");
        floors.push_back(bench::RunProgram({"sh", "-c", floor_command}).seconds);
      }
    }
  }
  fs::remove_all(work);

  std::uint64_t game_bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir / "game")) {
    if (entry.is_regular_file()) game_bytes += entry.file_size();
  }
  const double stream_mb = double(fs::file_size(dir / "stream.bin")) / (1 << 20);
  const double payload_mb = double(fs::file_size(dir / "payload.bin")) / (1 << 20);
  std::printf("Reference game %.0f MB (scale %g), stream %.2f MiB, payload %.2f MiB; %d rounds\n",
              double(game_bytes) / 1e6, scale, stream_mb, payload_mb, rounds);
  const double total = Median(totals), floor = Median(floors);
  std::printf("  installer (median)  %6.3f s   (min %.3f, max %.3f)\n", total,
              *std::min_element(totals.begin(), totals.end()),
              *std::max_element(totals.begin(), totals.end()));
  std::printf("  floor (median)      %6.3f s   (min %.3f, max %.3f)  xz -dc, cp, sync\n", floor,
              *std::min_element(floors.begin(), floors.end()),
              *std::max_element(floors.begin(), floors.end()));
  std::printf("  installer/floor     %6.2f     (target <= 1.3)\n", total / floor);
  std::printf("  phases (median, from file times, +-4 ms):\n");
  for (const std::string& name : phase_order) {
    std::printf("    %-22s %6.3f s\n", name.c_str(), Median(phases[name]));
  }
  const double limit = 2 * stream_mb + payload_mb + 16;
  if (peaks.empty()) Fail("no peak memory was reported");
  std::printf("  peak memory %.1f MiB median, %.1f MiB max (target <= %.1f MiB)\n", Median(peaks),
              *std::max_element(peaks.begin(), peaks.end()), limit);
  std::printf("  every installed folder checked: entries, loose files, deletions, curver.txt\n");
  return 0;
}
