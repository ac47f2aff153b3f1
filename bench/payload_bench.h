// What the parts of payload_bench share: the files it prepares, and the
// helpers for reading, hashing and printing.
#pragma once

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <string>

#include "bench/reference_payload.h"
#include "payload/sha1.h"

namespace bench {

struct PayloadFiles {
  std::filesystem::path payload;        // with the x86 filter
  std::filesystem::path plain_payload;  // without it
  std::filesystem::path raw_x86;        // the raw LZMA1 data of `payload`, for xz
  std::filesystem::path lzma;           // an LZMA_Alone file of the plain data, for xz
  std::filesystem::path stream;         // the reference stream itself
  std::filesystem::path empty;          // for timing the tools' start-up
};

// Keeps the fastest of several timings.
struct Fastest {
  double seconds = 1e30;
  void Add(double candidate) { seconds = std::min(seconds, candidate); }
};

void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);
std::string Hex(const payload::Sha1Digest& digest);

// Prints two timings and the ratio of theirs over ours, so that above 1
// means we are faster.
void PrintPair(const char* ours_name, double ours, const char* theirs_name, double theirs,
               std::size_t bytes);

void CompareSha1(const PayloadFiles& files);
// `self` is this program, which decodes a payload on its own when run with
// --decode-only, so that a whole decoding process can be timed against xz.
void CompareDecoding(const PayloadFiles& files, const std::string& self);

}  // namespace bench
