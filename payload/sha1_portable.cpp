// SHA-1 block compression in plain C++, the same digests on every processor.
//
// The eighty rounds are unrolled at compile time: each round names its five
// working variables by position in a rotating set, so no values move between
// rounds, and the message schedule lives in a ring of sixteen words instead of
// an array of eighty.
#include <utility>

#include "payload/sha1.h"

namespace payload {
namespace {

inline std::uint32_t RotateLeft(std::uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

inline std::uint32_t LoadBigEndian(const std::uint8_t* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

template <std::size_t kRound>
inline void Round(std::uint32_t (&v)[5], std::uint32_t (&w)[16], const std::uint8_t* block) {
  // Round t works on a..e at positions -t..4-t (mod 5): writing the new `a`
  // into the slot of `e` performs the usual shift of all five.
  std::uint32_t& a = v[(5 - kRound % 5) % 5];
  std::uint32_t& b = v[(6 - kRound % 5) % 5];
  std::uint32_t& c = v[(7 - kRound % 5) % 5];
  std::uint32_t& d = v[(8 - kRound % 5) % 5];
  std::uint32_t& e = v[(9 - kRound % 5) % 5];

  std::uint32_t& word = w[kRound % 16];
  if constexpr (kRound < 16) {
    word = LoadBigEndian(block + 4 * kRound);
  } else {
    word =
        RotateLeft(w[(kRound - 3) % 16] ^ w[(kRound - 8) % 16] ^ w[(kRound - 14) % 16] ^ word, 1);
  }

  std::uint32_t f, k;
  if constexpr (kRound < 20) {
    f = d ^ (b & (c ^ d));
    k = 0x5A827999u;
  } else if constexpr (kRound < 40) {
    f = b ^ c ^ d;
    k = 0x6ED9EBA1u;
  } else if constexpr (kRound < 60) {
    f = (b & c) | (d & (b | c));
    k = 0x8F1BBCDCu;
  } else {
    f = b ^ c ^ d;
    k = 0xCA62C1D6u;
  }
  e += RotateLeft(a, 5) + f + k + word;
  b = RotateLeft(b, 30);
}

template <std::size_t... kRounds>
inline void AllRounds(std::uint32_t (&v)[5], std::uint32_t (&w)[16], const std::uint8_t* block,
                      std::index_sequence<kRounds...>) {
  (Round<kRounds>(v, w, block), ...);
}

}  // namespace

void Sha1BlocksPortable(std::uint32_t state[5], const std::uint8_t* blocks,
                        std::size_t block_count) {
  for (; block_count > 0; --block_count, blocks += 64) {
    std::uint32_t v[5] = {state[0], state[1], state[2], state[3], state[4]};
    std::uint32_t w[16];
    AllRounds(v, w, blocks, std::make_index_sequence<80>());
    // After eighty rounds, a multiple of five, every variable is back in its
    // own slot.
    for (int i = 0; i < 5; ++i) state[i] += v[i];
  }
}

}  // namespace payload
