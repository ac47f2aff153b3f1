// Times the payload path against the standard tools on a reference stream of
// about 20 MB made from this machine's files: our SHA-1 (SHA extension and
// portable paths) against sha1sum and openssl, and DecodePayload against
// xz -dc, with the x86 filter and without. Prints each pair with its ratio and
// the peak memory of a decoding process. A benchmark, not a test: it only
// prints.
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "bench/payload_bench.h"
#include "bench/process_timer.h"
#include "payload/payload_container.h"

namespace bench {

constexpr double kMB = 1e6;

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  Bytes bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

std::string Hex(const payload::Sha1Digest& digest) {
  std::string text;
  char pair[3];
  for (std::uint8_t byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

void PrintPair(const char* ours_name, double ours, const char* theirs_name, double theirs,
               std::size_t bytes) {
  std::printf("  %-34s %8.2f ms %8.0f MB/s\n", ours_name, ours * 1e3, bytes / kMB / ours);
  std::printf("  %-34s %8.2f ms %8.0f MB/s\n", theirs_name, theirs * 1e3, bytes / kMB / theirs);
  std::printf("  %-34s %8.3f  (%s)\n\n", "ratio (theirs / ours)", theirs / ours,
              theirs >= ours ? "ours is as fast or faster" : "ours is slower");
}

}  // namespace bench

namespace {

namespace fs = std::filesystem;
using namespace bench;

long PeakRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "payload-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::exit(1);
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// The decoding process that the benchmark times against xz: map the payload
// file, decode it into one block of the declared size, report memory.
int DecodeOnly(const char* path) {
  // Mapped, not read, as the installer's payload is mapped with its image;
  // populated at once, so that the memory figures before and after decoding
  // both hold the payload.
  const int file = open(path, O_RDONLY);
  struct stat status {};
  if (file < 0 || fstat(file, &status) != 0) return 1;
  const std::size_t payload_size = static_cast<std::size_t>(status.st_size);
  void* mapped = mmap(nullptr, payload_size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file, 0);
  close(file);
  if (mapped == MAP_FAILED) return 1;
  std::span<const std::uint8_t> body(static_cast<const std::uint8_t*>(mapped),
                                     payload_size - payload::kTrailerSize);
  std::optional<std::uint32_t> size = payload::ReadDeclaredSize(body);
  if (!size) return 1;
  long before = PeakRssKib();
  auto block = std::make_unique_for_overwrite<std::uint8_t[]>(*size);
  std::size_t produced = 0;
  if (payload::DecodePayload(body, std::span<std::uint8_t>(block.get(), *size), &produced) !=
      payload::DecodeResult::kOk) {
    return 1;
  }
  long after = PeakRssKib();
  std::printf(
      "payload %zu bytes, block %u bytes: peak RSS %ld KiB before decoding, %ld KiB after"
      " (decoding added %.1f MB, %.2f times the block)\n",
      payload_size, *size, before, after, (after - before) * 1024.0 / kMB,
      (after - before) * 1024.0 / *size);
  return produced == *size ? 0 : 1;
}

// Builds the reference stream and writes every file the measurements need;
// the encoder's large working memory is gone when this returns.
PayloadFiles Prepare(const fs::path& dir) {
  std::printf("Reference stream\n");
  bench::ReferenceStream stream = bench::BuildReferenceStream(14'000'000, 6'300'000);
  std::printf("  %zu bytes: %zu x86-64 files (%zu bytes), %zu text files (%zu bytes)\n",
              stream.bytes.size(), stream.code_files, stream.code_bytes, stream.text_files,
              stream.text_bytes);
  PayloadFiles files{dir / "payload.bin", dir / "payload-plain.bin", dir / "stream.x86.lzma1",
                     dir / "stream.lzma", dir / "stream.bin",        dir / "empty"};
  WriteFile(files.stream, stream.bytes);
  WriteFile(files.empty, {});
  for (bool x86 : {true, false}) {
    const bench::Compression compression{x86, 32u << 20};
    Bytes data = bench::CompressLzma1(stream.bytes, compression);
    Bytes payload = bench::MakeBody(data, compression, stream.bytes.size());
    if (x86) {
      std::printf("  payload header");
      for (int i = 0; i < 14; ++i) std::printf(" %02X", payload[i]);
      WriteFile(files.raw_x86, data);
    } else {
      // The same header less the filter flag is an LZMA_Alone file.
      WriteFile(files.lzma, Bytes(payload.begin() + 1, payload.end()));
    }
    payload::Sha1Digest trailer = payload::ComputeSha1(payload);
    payload.insert(payload.end(), trailer.begin(), trailer.end());
    WriteFile(x86 ? files.payload : files.plain_payload, payload);
    std::printf(x86 ? "\n  payload %zu bytes with the x86 filter" : ", %zu without\n\n",
                payload.size());
  }
  return files;
}

// Measured apart from the timings, with nothing large held here (see
// RunProgram).
void ComparePeakMemory(const PayloadFiles& files, const std::string& self) {
  const long ours = bench::RunProgram({self, "--decode-only", files.payload.string()}).peak_rss_kib;
  const long xz_x86 =
      bench::RunProgram({"xz", "-dc", "--format=raw", "--x86", "--lzma1=lc=3,lp=0,pb=2,dict=32MiB",
                         files.raw_x86.string()})
          .peak_rss_kib;
  const long xz_plain = bench::RunProgram({"xz", "-dc", files.lzma.string()}).peak_rss_kib;
  std::printf("Peak resident memory of a decoding process\n");
  std::printf("  ours %ld KiB, xz -dc --format=raw --x86 %ld KiB, xz -dc (.lzma file) %ld KiB\n",
              ours, xz_x86, xz_plain);
  std::printf("  ours: %s",
              bench::CaptureOutput("'" + self + "' --decode-only '" + files.payload.string() + "'")
                  .c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--decode-only") == 0) return DecodeOnly(argv[2]);
  // Large buffers come from mmap and go back to the system when freed, so
  // the process is small again when it starts the programs it compares with.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  TempDir dir;
  const PayloadFiles files = Prepare(dir.path());
  CompareSha1(files);
  CompareDecoding(files, self);
  ComparePeakMemory(files, self);
  return 0;
}
