// Builds payload bodies for the container tests with liblzma directly, so the
// decoder is checked against the library's own encoder and not only against
// the project's payload writer.
#pragma once

#include <cstdint>

#include "tests/support/bytes.h"

namespace payload_test {

using test_support::Bytes;

struct LzmaSettings {
  bool x86 = false;  // run liblzma's x86 branch converter before LZMA1
  std::uint32_t lc = 3;
  std::uint32_t lp = 0;
  std::uint32_t pb = 2;
};

// Raw LZMA1 data (with the encoder's end marker) for `stream`.
Bytes EncodeLzma1(const Bytes& stream, const LzmaSettings& settings);

std::uint8_t PropertiesByte(std::uint32_t lc, std::uint32_t lp, std::uint32_t pb);

// Filter flag, LZMA_Alone header (properties, dictionary size, 64-bit size),
// then the data.
Bytes MakeBody(std::uint8_t filter, std::uint8_t properties, std::uint32_t dictionary_size,
               std::uint64_t declared_size, const Bytes& lzma_data);

// A body for `stream` as the packer would write it with these settings.
Bytes EncodeBody(const Bytes& stream, const LzmaSettings& settings = {});

// The body followed by its SHA-1.
Bytes WithTrailer(const Bytes& body);

}  // namespace payload_test
