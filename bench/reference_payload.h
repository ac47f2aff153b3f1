// The benchmark's reference data: a patch stream of about 20 MB made from
// the x86-64 programs and libraries and the documentation text installed on
// this machine, and its compression the way the shipped payload is made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

using Bytes = std::vector<std::uint8_t>;

struct ReferenceStream {
  Bytes bytes;
  std::size_t code_files = 0;
  std::size_t code_bytes = 0;
  std::size_t text_files = 0;
  std::size_t text_bytes = 0;
};

// Files are taken in path order, so the same machine gives the same stream.
ReferenceStream BuildReferenceStream(std::size_t code_budget, std::size_t text_budget);

struct Compression {
  bool x86 = true;
  std::uint32_t dictionary_size = 32u << 20;
};

// Raw LZMA1 data at preset 9 with lc 3, lp 0, pb 2, after liblzma's x86
// branch converter when asked; the data ends with an end marker.
Bytes CompressLzma1(const Bytes& stream, const Compression& compression);

// Filter flag, LZMA_Alone header and data.
Bytes MakeBody(const Bytes& lzma_data, const Compression& compression, std::size_t stream_size);

}  // namespace bench
