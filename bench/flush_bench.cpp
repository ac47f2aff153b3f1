// What it costs to force every staged file to the disk before the commit:
// whole installation runs of a reference-size patch (one 20 MB loose file,
// forty small ones, an archive-free stream like the shipped one's loose
// part), with the flush and with the flush turned into a no-op.
//
// Run it from a folder on the disk that games are installed on: tmpfs
// ignores fsync and would show no cost.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/fs/forwarding_file_system.h"
#include "engine/installer_host.h"
#include "engine/run_installation.h"
#include "payload/payload_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

class QuietHost final : public engine::InstallerHost {
 public:
  bool failed = false;
  void SetStatusText(const char16_t*) override {}
  void SetButtonText(const char16_t*) override {}
  bool AskYesNo(const char16_t*) override { return true; }
  void ShowError(const char16_t*) override { failed = true; }
  void CloseDialog() override {}
  bool IsCancelRequested() override { return false; }
  void MarkFinished() override {}
};

// Forwards everything; times the flushes, or skips them.
class FlushTimer final : public engine::ForwardingFileSystem {
 public:
  FlushTimer(engine::FileSystem& base, bool flush) : ForwardingFileSystem(base), flush_(flush) {}
  double flush_seconds = 0;

  bool FlushToDisk(const std::string& path) override {
    if (!flush_) return true;
    const auto start = Clock::now();
    const bool flushed = base().FlushToDisk(path);
    flush_seconds += std::chrono::duration<double>(Clock::now() - start).count();
    return flushed;
  }

 private:
  bool flush_;
};

// Content that compresses about as well as game data: words from a small
// vocabulary with random bytes mixed in.
payload::Bytes GameLikeContent(std::size_t size, std::mt19937& random) {
  payload::Bytes content;
  content.reserve(size);
  while (content.size() < size) {
    if (random() % 4 == 0) {
      content.push_back(static_cast<std::uint8_t>(random()));
    } else {
      const unsigned word = random() % 512;
      for (int i = 0; i < 6; ++i)
        content.push_back(static_cast<std::uint8_t>('a' + (word >> i) % 26));
    }
  }
  content.resize(size);
  return content;
}

payload::Bytes ReferencePayload() {
  std::mt19937 random(14);
  payload::PatchDescription patch;
  patch.version = 14;
  patch.loose_files.push_back({"Data\\main.pak", GameLikeContent(20'000'000, random)});
  for (int i = 0; i < 40; ++i) {
    patch.loose_files.push_back(
        {"Data\\Config\\file" + std::to_string(i) + ".ini", GameLikeContent(4'000, random)});
  }
  return payload::BuildPayload(payload::BuildPatchStream(patch));
}

struct Timing {
  double run_seconds;
  double flush_seconds;
};

Timing TimeRun(const payload::Bytes& payload, bool flush) {
  namespace fs = std::filesystem;
  const fs::path game = fs::current_path() / ("flush_bench_game_" + std::to_string(getpid()));
  fs::remove_all(game);
  fs::create_directories(game);
  const fs::path previous = fs::current_path();
  fs::current_path(game);

  // Start from a clean page cache, so that no run pays for the write-back of
  // the one before it.
  sync();
  QuietHost host;
  FlushTimer file_system(engine::NativeFileSystem(), flush);
  const std::span<const std::uint8_t> bytes(payload);
  const auto start = Clock::now();
  engine::RunInstallation(host, file_system, [&] { return std::optional(bytes); });
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  fs::current_path(previous);
  fs::remove_all(game);
  if (host.failed) {
    std::fprintf(stderr, "the run failed\n");
    std::exit(1);
  }
  return {seconds, file_system.flush_seconds};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  std::printf("building the reference payload...\n");
  const payload::Bytes payload = ReferencePayload();
  std::printf("payload %zu bytes; 1 loose file of 20,000,000 bytes and 40 of 4,000\n",
              payload.size());

  constexpr int kRuns = 7;
  std::vector<double> with_flush, without_flush, flush_only;
  for (int i = 0; i < kRuns; ++i) {
    // Alternating, so that a change in the machine's load hits both alike.
    const Timing flushed = TimeRun(payload, true);
    with_flush.push_back(flushed.run_seconds);
    flush_only.push_back(flushed.flush_seconds);
    without_flush.push_back(TimeRun(payload, false).run_seconds);
  }
  const double with = Median(with_flush), without = Median(without_flush);
  std::printf("median of %d runs: with flush %.3f s, without %.3f s, difference %.3f s (%.1f%%)\n",
              kRuns, with, without, with - without, 100.0 * (with - without) / without);
  std::printf("time spent inside FlushToDisk: median %.3f s\n", Median(flush_only));
  return 0;
}
