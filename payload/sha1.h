// SHA-1 (FIPS 180-1), used to check the integrity trailer of a payload.
//
// The digest is computed with the processor's SHA instructions where the
// processor has them (chosen once, at run time) and with portable code
// elsewhere; both give the same 20 bytes in the standard byte order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace payload {

using Sha1Digest = std::array<std::uint8_t, 20>;

using Sha1BlockFunction = void (*)(std::uint32_t state[5], const std::uint8_t* blocks,
                                   std::size_t block_count);

class Sha1 {
 public:
  // Uses the fastest block function this processor supports.
  Sha1();
  // Uses the given block function; tests and the benchmark pin each path.
  explicit Sha1(Sha1BlockFunction compress_blocks);

  void Update(std::span<const std::uint8_t> data);
  // Pads, finishes and returns the digest. The object is reset afterwards.
  Sha1Digest Finish();

 private:
  void Reset();

  Sha1BlockFunction compress_blocks_;
  std::array<std::uint32_t, 5> state_;
  std::array<std::uint8_t, 64> pending_;
  std::size_t pending_size_;
  std::uint64_t total_size_;
};

Sha1Digest ComputeSha1(std::span<const std::uint8_t> data);

// Compression of whole 64-byte blocks into the five state words. Exposed so
// that tests can hold the two realisations against each other.
void Sha1BlocksPortable(std::uint32_t state[5], const std::uint8_t* blocks,
                        std::size_t block_count);
// Null when the processor lacks the SHA extensions (or on other architectures).
Sha1BlockFunction Sha1BlocksAccelerated();

}  // namespace payload
