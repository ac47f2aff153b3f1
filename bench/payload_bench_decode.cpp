// DecodePayload against xz -dc, with the x86 filter and without, in process
// and as whole processes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "bench/payload_bench.h"
#include "bench/process_timer.h"
#include "payload/bcj_x86.h"
#include "payload/payload_container.h"

namespace bench {
namespace {

// Decodes a payload the way the run does, into a fresh block of the declared
// size that nobody fills beforehand; the trailer was checked once, before
// timing.
std::unique_ptr<std::uint8_t[]> Decode(const Bytes& payload, std::size_t stream_size) {
  std::span<const std::uint8_t> body(payload.data(), payload.size() - payload::kTrailerSize);
  auto block = std::make_unique_for_overwrite<std::uint8_t[]>(stream_size);
  if (payload::DecodePayload(body, std::span<std::uint8_t>(block.get(), stream_size)) !=
      payload::DecodeResult::kOk) {
    std::fprintf(stderr, "payload_bench: DecodePayload failed\n");
    std::exit(1);
  }
  return block;
}

}  // namespace

void CompareDecoding(const PayloadFiles& files, const std::string& self) {
  constexpr int kRounds = 7;
  const std::vector<std::string> xz_x86 = {"xz",
                                           "-dc",
                                           "--format=raw",
                                           "--x86",
                                           "--lzma1=lc=3,lp=0,pb=2,dict=32MiB",
                                           files.raw_x86.string()};
  const std::vector<std::string> xz_plain = {"xz", "-dc", files.lzma.string()};
  const std::vector<std::string> ours_x86 = {self, "--decode-only", files.payload.string()};
  const std::vector<std::string> ours_plain = {self, "--decode-only", files.plain_payload.string()};
  const Bytes payload = ReadFile(files.payload);
  const Bytes plain_payload = ReadFile(files.plain_payload);

  // Both sides must give back the reference stream before they are timed.
  std::size_t stream_size;
  double x86_pass;
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
    if (std::memcmp(Decode(payload, stream_size).get(), stream.data(), stream_size) != 0 ||
        std::memcmp(Decode(plain_payload, stream_size).get(), stream.data(), stream_size) != 0) {
      std::fprintf(stderr, "payload_bench: DecodePayload gave other bytes\n");
      std::exit(1);
    }
    Bytes copy = stream;
    x86_pass = bench::BestTime(kRounds, [&] { payload::DecodeX86Branches(copy); });
  }

  // Each round times every contender once, as above; whole processes also by
  // their CPU time, which other work on the machine disturbs less.
  Fastest ours_x86_in_process, ours_plain_in_process;
  Fastest ours_x86_process, ours_plain_process, theirs_x86, theirs_plain;
  Fastest ours_x86_cpu, ours_plain_cpu, theirs_x86_cpu, theirs_plain_cpu;
  auto run = [](const std::vector<std::string>& argv, Fastest& wall, Fastest& cpu) {
    const ProcessRun result = RunProgram(argv);
    wall.Add(result.seconds);
    cpu.Add(result.cpu_seconds);
  };
  for (int round = 0; round < kRounds; ++round) {
    ours_x86_in_process.Add(BestTime(1, [&] { Decode(payload, stream_size); }));
    run(ours_x86, ours_x86_process, ours_x86_cpu);
    run(xz_x86, theirs_x86, theirs_x86_cpu);
    ours_plain_in_process.Add(BestTime(1, [&] { Decode(plain_payload, stream_size); }));
    run(ours_plain, ours_plain_process, ours_plain_cpu);
    run(xz_plain, theirs_plain, theirs_plain_cpu);
  }

  std::printf("Decoding the %zu-byte stream (fastest of %d rounds)\n with the x86 filter:\n",
              stream_size, kRounds);
  PrintPair("DecodePayload, in process", ours_x86_in_process.seconds, "xz -dc --format=raw --x86",
            theirs_x86.seconds, stream_size);
  PrintPair("DecodePayload, whole process", ours_x86_process.seconds, "xz -dc --format=raw --x86",
            theirs_x86.seconds, stream_size);
  PrintPair("DecodePayload process, CPU time", ours_x86_cpu.seconds, "xz -dc --x86, CPU time",
            theirs_x86_cpu.seconds, stream_size);
  std::printf("  of which the x86 pass over the block %.2f ms\n\n", x86_pass * 1e3);
  std::printf(" without a filter:\n");
  PrintPair("DecodePayload, in process", ours_plain_in_process.seconds, "xz -dc (.lzma file)",
            theirs_plain.seconds, stream_size);
  PrintPair("DecodePayload, whole process", ours_plain_process.seconds, "xz -dc (.lzma file)",
            theirs_plain.seconds, stream_size);
  PrintPair("DecodePayload process, CPU time", ours_plain_cpu.seconds, "xz -dc (.lzma), CPU time",
            theirs_plain_cpu.seconds, stream_size);
}

}  // namespace bench
