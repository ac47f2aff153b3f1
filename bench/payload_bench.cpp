// Times the payload path against the standard tools on a reference stream of
// about 20 MB made from this machine's files: our SHA-1 (SHA extension and
// portable paths) against sha1sum and openssl, and DecodePayload against
// xz -dc, with the x86 filter and without. Prints each pair with its ratio and
// the peak memory of a decoding process. A benchmark, not a test: it only
// prints.
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench/process_timer.h"
#include "bench/reference_payload.h"
#include "payload/bcj_x86.h"
#include "payload/payload_container.h"
#include "payload/sha1.h"

namespace {

namespace fs = std::filesystem;
using bench::Bytes;

constexpr double kMB = 1e6;

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const fs::path& path) {
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

// "ours 0.0123 s  vs  tool 0.0150 s  ratio 1.22": the ratio is the tool's
// time over ours, so above 1 means we are faster.
void PrintPair(const char* ours_name, double ours, const char* theirs_name, double theirs,
               std::size_t bytes) {
  std::printf("  %-34s %8.2f ms %8.0f MB/s\n", ours_name, ours * 1e3, bytes / kMB / ours);
  std::printf("  %-34s %8.2f ms %8.0f MB/s\n", theirs_name, theirs * 1e3, bytes / kMB / theirs);
  std::printf("  %-34s %8.3f  (%s)\n\n", "ratio (theirs / ours)", theirs / ours,
              theirs >= ours ? "ours is as fast or faster" : "ours is slower");
}

// The decoding process that the benchmark times against xz: read the payload
// file, decode it into one block of the declared size, report memory.
int DecodeOnly(const char* path) {
  Bytes payload = ReadFile(path);
  std::span<const std::uint8_t> body(payload.data(), payload.size() - payload::kTrailerSize);
  std::optional<std::uint32_t> size = payload::ReadDeclaredSize(body);
  if (!size) return 1;
  long before = PeakRssKib();
  auto block = std::make_unique_for_overwrite<std::uint8_t[]>(*size);
  std::size_t produced = 0;
  if (!payload::DecodePayload(body, std::span<std::uint8_t>(block.get(), *size), &produced)) {
    return 1;
  }
  long after = PeakRssKib();
  std::printf(
      "payload %zu bytes, block %u bytes: peak RSS %ld KiB before decoding, %ld KiB after"
      " (decoding added %.1f MB, %.2f times the block)\n",
      payload.size(), *size, before, after, (after - before) * 1024.0 / kMB,
      (after - before) * 1024.0 / *size);
  return produced == *size ? 0 : 1;
}

struct Files {
  fs::path payload, plain_payload, raw_x86, lzma, stream, empty;
};

// Builds the reference stream and writes every file the measurements need;
// the encoder's large working memory is gone when this returns.
Files Prepare(const fs::path& dir) {
  std::printf("Reference stream\n");
  bench::ReferenceStream stream = bench::BuildReferenceStream(14'000'000, 6'300'000);
  std::printf("  %zu bytes: %zu x86-64 files (%zu bytes), %zu text files (%zu bytes)\n",
              stream.bytes.size(), stream.code_files, stream.code_bytes, stream.text_files,
              stream.text_bytes);
  Files files{dir / "payload.bin", dir / "payload-plain.bin", dir / "stream.x86.lzma1",
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

void CompareSha1(const Files& files) {
  const Bytes payload = ReadFile(files.payload);
  std::printf("SHA-1 of the %zu-byte payload (best of 9)\n", payload.size());
  const std::string expected = Hex(payload::ComputeSha1(payload));
  for (const char* tool : {"sha1sum", "openssl sha1 -r"}) {
    std::string line =
        bench::CaptureOutput(std::string(tool) + " '" + files.payload.string() + "'");
    if (line.compare(0, 40, expected) != 0) {
      std::fprintf(stderr, "payload_bench: %s disagrees: %s\n", tool, line.c_str());
      std::exit(1);
    }
  }
  auto time_sha1 = [&](payload::Sha1BlockFunction blocks) {
    return bench::BestTime(9, [&] {
      payload::Sha1 sha1(blocks);
      sha1.Update(payload);
      if (Hex(sha1.Finish()) != expected) std::exit(1);
    });
  };
  const double sha1sum = bench::BestRun(9, {"sha1sum", files.payload.string()}).seconds;
  const double openssl = bench::BestRun(9, {"openssl", "sha1", files.payload.string()}).seconds;
  const double sha1sum_start = bench::BestRun(9, {"sha1sum", files.empty.string()}).seconds;
  const double openssl_start = bench::BestRun(9, {"openssl", "sha1", files.empty.string()}).seconds;
  const double read_and_hash = bench::BestTime(9, [&] {
    if (Hex(payload::ComputeSha1(ReadFile(files.payload))) != expected) std::exit(1);
  });
  if (payload::Sha1BlockFunction accelerated = payload::Sha1BlocksAccelerated()) {
    PrintPair("ours, SHA extensions", time_sha1(accelerated), "openssl sha1 (process)", openssl,
              payload.size());
  } else {
    std::printf("  (no SHA extensions on this processor)\n");
  }
  PrintPair("ours, portable", time_sha1(&payload::Sha1BlocksPortable), "sha1sum (process)", sha1sum,
            payload.size());
  // The tools also start a process and read the file: the same comparison
  // with their start-up (timed on an empty file) taken off and our file read
  // put on.
  std::printf(
      "  like for like: ours, default path, with the file read %.2f ms;"
      " openssl less start-up (%.2f ms) %.2f ms, ratio %.3f\n",
      read_and_hash * 1e3, openssl_start * 1e3, (openssl - openssl_start) * 1e3,
      (openssl - openssl_start) / read_and_hash);
  const double portable_read_and_hash = bench::BestTime(9, [&] {
    payload::Sha1 sha1(&payload::Sha1BlocksPortable);
    sha1.Update(ReadFile(files.payload));
    if (Hex(sha1.Finish()) != expected) std::exit(1);
  });
  std::printf(
      "                 ours, portable, with the file read %.2f ms;"
      " sha1sum less start-up (%.2f ms) %.2f ms, ratio %.3f\n\n",
      portable_read_and_hash * 1e3, sha1sum_start * 1e3, (sha1sum - sha1sum_start) * 1e3,
      (sha1sum - sha1sum_start) / portable_read_and_hash);
}

double TimeDecodeInProcess(const fs::path& payload_path, const Bytes& stream) {
  const Bytes payload = ReadFile(payload_path);
  std::span<const std::uint8_t> body(payload.data(), payload.size() - payload::kTrailerSize);
  auto decode = [&] {
    auto block = std::make_unique_for_overwrite<std::uint8_t[]>(stream.size());
    if (!payload::DecodePayload(body, std::span<std::uint8_t>(block.get(), stream.size()))) {
      std::fprintf(stderr, "payload_bench: DecodePayload failed\n");
      std::exit(1);
    }
    return block;
  };
  if (std::memcmp(decode().get(), stream.data(), stream.size()) != 0) {
    std::fprintf(stderr, "payload_bench: DecodePayload gave other bytes\n");
    std::exit(1);
  }
  return bench::BestTime(5, decode);
}

void CompareDecoding(const Files& files, const std::string& self) {
  const std::vector<std::string> xz_x86 = {"xz",
                                           "-dc",
                                           "--format=raw",
                                           "--x86",
                                           "--lzma1=lc=3,lp=0,pb=2,dict=32MiB",
                                           files.raw_x86.string()};
  const std::vector<std::string> xz_plain = {"xz", "-dc", files.lzma.string()};
  double in_process_x86, in_process_plain, x86_pass;
  std::size_t stream_size;
  {
    const Bytes stream = ReadFile(files.stream);
    stream_size = stream.size();
    const std::string text(stream.begin(), stream.end());
    for (const auto& xz : {xz_x86, xz_plain}) {
      std::string command;
      for (const std::string& argument : xz) command += "'" + argument + "' ";
      if (bench::CaptureOutput(command) != text) {
        std::fprintf(stderr, "payload_bench: %s does not give back the stream\n", command.c_str());
        std::exit(1);
      }
    }
    in_process_x86 = TimeDecodeInProcess(files.payload, stream);
    in_process_plain = TimeDecodeInProcess(files.plain_payload, stream);
    Bytes copy = stream;
    x86_pass = bench::BestTime(5, [&] { payload::DecodeX86Branches(copy); });
  }

  // Processes last, while this one is small (see RunProgram).
  std::printf("Decoding the %zu-byte stream (best of 5)\n with the x86 filter:\n", stream_size);
  const bench::ProcessRun theirs_x86 = bench::BestRun(5, xz_x86);
  const bench::ProcessRun ours_x86 =
      bench::BestRun(5, {self, "--decode-only", files.payload.string()});
  PrintPair("DecodePayload, in process", in_process_x86, "xz -dc --format=raw --x86",
            theirs_x86.seconds, stream_size);
  PrintPair("DecodePayload, whole process", ours_x86.seconds, "xz -dc --format=raw --x86",
            theirs_x86.seconds, stream_size);
  std::printf("  of which the x86 pass over the block %.2f ms\n\n", x86_pass * 1e3);
  std::printf(" without a filter:\n");
  const bench::ProcessRun theirs_plain = bench::BestRun(5, xz_plain);
  const bench::ProcessRun ours_plain =
      bench::BestRun(5, {self, "--decode-only", files.plain_payload.string()});
  PrintPair("DecodePayload, in process", in_process_plain, "xz -dc (.lzma file)",
            theirs_plain.seconds, stream_size);
  PrintPair("DecodePayload, whole process", ours_plain.seconds, "xz -dc (.lzma file)",
            theirs_plain.seconds, stream_size);

  std::printf("Peak resident memory of a decoding process\n");
  std::printf("  ours %ld KiB, xz -dc --x86 %ld KiB, xz -dc .lzma %ld KiB\n", ours_x86.peak_rss_kib,
              theirs_x86.peak_rss_kib, theirs_plain.peak_rss_kib);
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
  const Files files = Prepare(dir.path());
  CompareSha1(files);
  CompareDecoding(files, self);
  return 0;
}
