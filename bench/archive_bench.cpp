// Times the archive merge on archives of a few hundred MB with thousands of
// entries, a dozen of them replaced, against `cp` of the same archive (the
// floor: every byte read and written once, in the kernel), `dd bs=1M` (the
// same through a program's own buffer, as any zip writer must) and Info-ZIP
// `zip -9` making the same change to a copy. Two archives of the same size,
// one with a 150 MB entry and one whose largest entry is 1 MB, show that the
// merge's peak memory does not follow the largest entry. Each merge runs in
// a fresh process (this program, started again with "merge"), so that its
// peak memory is its own. A benchmark, not a test: it only prints.
#include <minizip/zip.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/process_timer.h"
#include "engine/archive/archive_merge.h"
#include "engine/fs/checked_file_system.h"
#include "engine/installer_host.h"
#include "payload/patch_stream.h"
#include "payload/payload_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSmallEntries = 2500;
constexpr std::size_t kLargeTotal = 150u << 20;
constexpr int kReplaced = 12;
constexpr int kRounds = 5;

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "archive_bench: %s\n", message.c_str());
  std::exit(1);
}

// Deterministic filler: incompressible noise, or text-like words that
// deflate about three to one, as game data mixes both.
class Filler {
 public:
  void Fill(std::vector<std::uint8_t>& buffer, bool noise) {
    static const char* const kWords[] = {"stone ", "river ",  "castle ", "mage ",  "sword ",
                                         "quest ", "shadow ", "gold ",   "north ", "ember "};
    for (std::size_t i = 0; i < buffer.size();) {
      state_ ^= state_ << 13;
      state_ ^= state_ >> 7;
      state_ ^= state_ << 17;
      if (noise) {
        buffer[i++] = static_cast<std::uint8_t>(state_ >> 32);
      } else {
        for (const char* w = kWords[state_ % 10]; *w != '\0' && i < buffer.size(); ++w) {
          buffer[i++] = static_cast<std::uint8_t>(*w);
        }
      }
    }
  }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15u;
};

std::string EntryName(int i) { return "data/file" + std::to_string(i) + ".dat"; }

void AddEntry(zipFile zip, const std::string& name, std::size_t size, bool stored, Filler& filler) {
  if (zipOpenNewFileInZip64(zip, name.c_str(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                            stored ? 0 : Z_DEFLATED, stored ? 0 : 1, 0) != ZIP_OK) {
    Fail("cannot add " + name);
  }
  std::vector<std::uint8_t> chunk;
  for (std::size_t done = 0; done < size; done += chunk.size()) {
    chunk.resize(std::min<std::size_t>(size - done, 1 << 20));
    filler.Fill(chunk, stored);
    zipWriteInFileInZip(zip, chunk.data(), static_cast<unsigned>(chunk.size()));
  }
  if (zipCloseFileInZip(zip) != ZIP_OK) Fail("cannot finish " + name);
}

// The same small entries in both archives; the large share is one entry of
// 150 MB or 150 entries of 1 MB.
void MakeArchive(const fs::path& path, bool one_large_entry) {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) Fail("cannot create " + path.string());
  Filler filler;
  for (int i = 0; i < kSmallEntries; ++i) {
    AddEntry(zip, EntryName(i), 16384 + (i * 7919 % 144) * 1024, i % 3 == 0, filler);
  }
  if (one_large_entry) {
    AddEntry(zip, "data/Large.BIN", kLargeTotal, true, filler);
  } else {
    for (int i = 0; i < 150; ++i) {
      AddEntry(zip, "data/Part" + std::to_string(i) + ".BIN", kLargeTotal / 150, true, filler);
    }
  }
  if (zipClose(zip, nullptr) != ZIP_OK) Fail("cannot close " + path.string());
}

// A dozen entries spread over the archive, each replaced by 64 KB of text.
payload::Bytes PatchStreamFor(const std::string& archive) {
  payload::ArchiveRecord record{archive, {}, {}};
  Filler filler;
  for (int i = 0; i < kReplaced; ++i) {
    std::vector<std::uint8_t> content(65536);
    filler.Fill(content, false);
    record.new_entries.push_back({EntryName(i * (kSmallEntries / kReplaced)), content});
  }
  payload::PatchDescription description;
  description.archives.push_back(record);
  return payload::BuildPatchStream(description);
}

// Each contender's rounds: the median wall and CPU times (user plus system),
// the figures compared, and the best ones, which a busy spell of the machine
// cannot raise.
struct Rounds {
  std::vector<double> walls;
  std::vector<double> cpus;
  long peak_rss_kib = 0;
  void Add(const bench::ProcessRun& run) {
    walls.push_back(run.seconds);
    cpus.push_back(run.cpu_seconds);
    peak_rss_kib = std::max(peak_rss_kib, run.peak_rss_kib);
  }
  static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  }
  double wall() const { return Median(walls); }
  double cpu() const { return Median(cpus); }
  double best_wall() const { return *std::min_element(walls.begin(), walls.end()); }
};

class QuietHost final : public engine::InstallerHost {
 public:
  void SetStatusText(const char16_t*) override {}
  void SetButtonText(const char16_t*) override {}
  bool AskYesNo(const char16_t*) override { return true; }
  void ShowError(const char16_t*) override {}
  void CloseDialog() override {}
  bool IsCancelRequested() override { return false; }
  void MarkFinished() override {}
};

[[noreturn]] void StreamOverrun() { Fail("the patch stream is cut short"); }

// The child: merges the archive record of the stream file in the current
// folder, as the run does, through the checked native file system.
int RunMerge(const char* stream_path) {
  std::ifstream in(stream_path, std::ios::binary | std::ios::ate);
  const auto size = static_cast<std::uint32_t>(in.tellg());
  auto block = std::make_unique<std::uint8_t[]>(size);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(block.get()), size);
  payload::PatchStream stream(std::move(block), size, StreamOverrun);
  stream.ReadU32();
  stream.ReadName();  // the empty loose-file section
  QuietHost host;
  engine::CheckedFileSystem file_system(engine::NativeFileSystem());
  engine::CommitList commit_list;
  // A failure ends this process unhandled, which the timing run reports.
  engine::StagingProgress progress(host, {});
  engine::MergeArchives(stream, commit_list, host, progress, file_system);
  return 0;
}

void Compare(const fs::path& dir, const std::string& name, bool one_large_entry) {
  const fs::path archive = dir / name;
  MakeArchive(archive, one_large_entry);
  const fs::path stream_file = dir / (name + ".stream");
  const payload::Bytes stream = PatchStreamFor(name);
  std::ofstream(stream_file, std::ios::binary)
      .write(reinterpret_cast<const char*>(stream.data()), static_cast<long>(stream.size()));

  // zip -9 gets the same dozen files to put into a fresh copy of the archive
  // each time; only zip itself is timed.
  const fs::path patch_dir = dir / "patch";
  std::vector<std::string> zip_argv = {"zip", "-q", "-9", "../z.zip"};
  Filler filler;
  for (int i = 0; i < kReplaced; ++i) {
    const std::string entry = EntryName(i * (kSmallEntries / kReplaced));
    std::vector<std::uint8_t> content(65536);
    filler.Fill(content, false);
    fs::create_directories((patch_dir / entry).parent_path());
    std::ofstream(patch_dir / entry, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), static_cast<long>(content.size()));
    zip_argv.push_back(entry);
  }
  // The contenders take turns, round after round, so that a busy spell of
  // the machine does not fall on one of them only.
  Rounds cp, dd, zip, merge;
  for (int round = 0; round < kRounds; ++round) {
    fs::current_path(dir);
    cp.Add(bench::RunProgram({"cp", archive.string(), "copy.zip"}));
    dd.Add(
        bench::RunProgram({"dd", "if=" + archive.string(), "of=copy.zip", "bs=1M", "status=none"}));
    merge.Add(bench::RunProgram({"/proc/self/exe", "merge", stream_file.string()}));
    fs::copy_file(archive, dir / "z.zip", fs::copy_options::overwrite_existing);
    fs::current_path(patch_dir);
    zip.Add(bench::RunProgram(zip_argv));
  }
  fs::current_path(dir);
  const std::string check = bench::CaptureOutput("unzip -tqq " + name + ".updtmp");

  const double mb = static_cast<double>(fs::file_size(archive)) / 1e6;
  std::printf("%s: %.0f MB, %d entries, largest %zu MB; %d replaced\n", name.c_str(), mb,
              kSmallEntries + (one_large_entry ? 1 : 150),
              (one_large_entry ? kLargeTotal : kLargeTotal / 150) >> 20, kReplaced);
  std::printf("             wall      CPU   (medians of %d; best wall)\n", kRounds);
  std::printf("  merge   %6.3f s  %6.3f s  %6.3f s  %4.0f MB/s  peak RSS %ld KiB\n", merge.wall(),
              merge.cpu(), merge.best_wall(), mb / merge.wall(), merge.peak_rss_kib);
  std::printf("  cp      %6.3f s  %6.3f s  %6.3f s  merge/cp  wall %.2f  CPU %.2f\n", cp.wall(),
              cp.cpu(), cp.best_wall(), merge.wall() / cp.wall(), merge.cpu() / cp.cpu());
  std::printf("  dd 1M   %6.3f s  %6.3f s  %6.3f s  merge/dd  wall %.2f  CPU %.2f  (target <= 2)\n",
              dd.wall(), dd.cpu(), dd.best_wall(), merge.wall() / dd.wall(),
              merge.cpu() / dd.cpu());
  std::printf("  zip -9  %6.3f s  %6.3f s  %6.3f s  zip/merge wall %.2f  CPU %.2f  (target >= 2)\n",
              zip.wall(), zip.cpu(), zip.best_wall(), zip.wall() / merge.wall(),
              zip.cpu() / merge.cpu());
  std::printf("  unzip -t of the staged archive: %s\n", check.empty() ? "ok" : check.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "merge") return RunMerge(argv[2]);

  std::string pattern = (fs::temp_directory_path() / "archive-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) Fail("cannot make a temporary folder");
  const fs::path dir = pattern;
  Compare(dir, "one_large.zip", true);
  Compare(dir, "small_only.zip", false);
  fs::current_path("/");
  fs::remove_all(dir);
  return 0;
}
