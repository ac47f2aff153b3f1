// SHA-1: ours on both paths against sha1sum and openssl on the payload file.
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "bench/payload_bench.h"
#include "bench/process_timer.h"

namespace bench {
namespace {

// Reads the file the way the tools do, in chunks through one small buffer,
// hashing as it goes.
payload::Sha1Digest HashFile(payload::Sha1BlockFunction blocks, const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  static char chunk[64 * 1024];
  payload::Sha1 sha1(blocks);
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    sha1.Update(
        {reinterpret_cast<const std::uint8_t*>(chunk), static_cast<std::size_t>(in.gcount())});
  }
  return sha1.Finish();
}

}  // namespace

void CompareSha1(const PayloadFiles& files) {
  constexpr int kRounds = 9;
  const Bytes payload = ReadFile(files.payload);
  std::printf("SHA-1 of the %zu-byte payload (fastest of %d rounds)\n", payload.size(), kRounds);
  const std::string expected = Hex(payload::ComputeSha1(payload));
  for (const char* tool : {"sha1sum", "openssl sha1 -r"}) {
    std::string line =
        bench::CaptureOutput(std::string(tool) + " '" + files.payload.string() + "'");
    if (line.compare(0, 40, expected) != 0) {
      std::fprintf(stderr, "payload_bench: %s disagrees: %s\n", tool, line.c_str());
      std::exit(1);
    }
  }
  auto hash = [&](payload::Sha1BlockFunction blocks, const Bytes& data) {
    payload::Sha1 sha1(blocks);
    sha1.Update(data);
    if (Hex(sha1.Finish()) != expected) std::exit(1);
  };
  const payload::Sha1BlockFunction accelerated = payload::Sha1BlocksAccelerated();
  const payload::Sha1BlockFunction portable = &payload::Sha1BlocksPortable;
  const payload::Sha1BlockFunction chosen = accelerated ? accelerated : portable;

  // Each round times every contender once, so that all of them meet the same
  // load on the machine.
  Fastest ours_accelerated, ours_portable, ours_chosen_with_read, ours_portable_with_read;
  Fastest sha1sum, openssl, sha1sum_start, openssl_start;
  for (int round = 0; round < kRounds; ++round) {
    if (accelerated) ours_accelerated.Add(bench::BestTime(1, [&] { hash(accelerated, payload); }));
    ours_portable.Add(bench::BestTime(1, [&] { hash(portable, payload); }));
    for (auto [blocks, fastest] : {std::pair(chosen, &ours_chosen_with_read),
                                   std::pair(portable, &ours_portable_with_read)}) {
      fastest->Add(bench::BestTime(1, [&] {
        if (Hex(HashFile(blocks, files.payload)) != expected) std::exit(1);
      }));
    }
    sha1sum.Add(bench::RunProgram({"sha1sum", files.payload.string()}).seconds);
    openssl.Add(bench::RunProgram({"openssl", "sha1", files.payload.string()}).seconds);
    sha1sum_start.Add(bench::RunProgram({"sha1sum", files.empty.string()}).seconds);
    openssl_start.Add(bench::RunProgram({"openssl", "sha1", files.empty.string()}).seconds);
  }

  if (accelerated) {
    PrintPair("ours, SHA extensions", ours_accelerated.seconds, "openssl sha1 (process)",
              openssl.seconds, payload.size());
  } else {
    std::printf("  (no SHA extensions on this processor)\n");
  }
  PrintPair("ours, portable", ours_portable.seconds, "sha1sum (process)", sha1sum.seconds,
            payload.size());
  // The tools also start a process and read the file: the same comparison
  // with their start-up (timed on an empty file) taken off and our file read
  // put on.
  std::printf(" like for like, the file read included and the tools' start-up left out:\n");
  PrintPair(accelerated ? "ours, SHA extensions, with read" : "ours, portable, with read",
            ours_chosen_with_read.seconds, "openssl sha1 less start-up",
            openssl.seconds - openssl_start.seconds, payload.size());
  PrintPair("ours, portable, with read", ours_portable_with_read.seconds, "sha1sum less start-up",
            sha1sum.seconds - sha1sum_start.seconds, payload.size());
  std::printf("  (start-up on an empty file: sha1sum %.2f ms, openssl %.2f ms)\n\n",
              sha1sum_start.seconds * 1e3, openssl_start.seconds * 1e3);
}

}  // namespace bench
