#include "payload/bcj_x86.h"

#include <cstddef>
#include <cstring>

namespace payload {
namespace {

// A displacement is converted only when its most significant byte is 00 or
// FF, that is when it points within 16 MiB of the instruction.
inline bool IsNearTopByte(std::uint8_t byte) { return byte == 0x00 || byte == 0xFF; }

// The first position from `from` on, before `end`, that holds E8 or E9; at
// least `end` when there is none. Most bytes are neither, so eight are tested
// at a time: a byte is E8 or E9 exactly when it becomes zero after an xor
// with E8 and the clearing of its lowest bit.
std::size_t FindBranchOpcode(const std::uint8_t* bytes, std::size_t from, std::size_t end) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  while (from + 8 <= end) {
    std::uint64_t word;
    std::memcpy(&word, bytes + from, 8);
    const std::uint64_t folded = (word ^ (kOnes * 0xE8)) & (kOnes * 0xFE);
    if (((folded - kOnes) & ~folded & kHighBits) != 0) break;
    from += 8;
  }
  while (from < end && (bytes[from] & 0xFE) != 0xE8) ++from;
  return from;
}

}  // namespace

void DecodeX86Branches(std::span<std::uint8_t> block) {
  // The converter remembers which of the bytes just behind the current one
  // were E8/E9 opcodes that it declined (bit 0 = one byte back, up to three),
  // so that an operand that itself looks like an opcode is not converted.
  static constexpr bool kMaskAllowsConversion[8] = {true, true,  true,  false,
                                                    true, false, false, false};
  static constexpr std::uint32_t kMaskToByteIndex[8] = {0, 1, 2, 2, 3, 3, 3, 3};

  if (block.size() < 5) return;
  std::uint8_t* bytes = block.data();
  const std::size_t last_opcode = block.size() - 5;

  std::uint32_t previous_mask = 0;
  std::size_t previous_position = 0;
  bool seen_opcode = false;

  std::size_t position = 0;
  for (;;) {
    // Bytes that are no opcode leave the state alone: only the distance
    // between opcodes counts.
    position = FindBranchOpcode(bytes, position, last_opcode + 1);
    if (position > last_opcode) break;

    const std::size_t distance = seen_opcode ? position - previous_position : position + 5;
    previous_position = position;
    seen_opcode = true;
    if (distance > 5) {
      previous_mask = 0;
    } else {
      for (std::size_t i = 0; i < distance; ++i) {
        previous_mask &= 0x77;
        previous_mask <<= 1;
      }
    }

    std::uint8_t top = bytes[position + 4];
    if (IsNearTopByte(top) && kMaskAllowsConversion[(previous_mask >> 1) & 7] &&
        (previous_mask >> 1) < 0x10) {
      std::uint32_t source = (std::uint32_t{top} << 24) |
                             (std::uint32_t{bytes[position + 3]} << 16) |
                             (std::uint32_t{bytes[position + 2]} << 8) | bytes[position + 1];
      std::uint32_t target;
      for (;;) {
        target = source - static_cast<std::uint32_t>(position + 5);
        if (previous_mask == 0) break;
        const std::uint32_t index = kMaskToByteIndex[previous_mask >> 1];
        if (!IsNearTopByte(static_cast<std::uint8_t>(target >> (24 - index * 8)))) break;
        source = target ^ ((1u << (32 - index * 8)) - 1);
      }
      // The top byte is rebuilt from bit 24 so that it is again 00 or FF.
      bytes[position + 4] = static_cast<std::uint8_t>(~(((target >> 24) & 1) - 1));
      bytes[position + 3] = static_cast<std::uint8_t>(target >> 16);
      bytes[position + 2] = static_cast<std::uint8_t>(target >> 8);
      bytes[position + 1] = static_cast<std::uint8_t>(target);
      position += 5;
      previous_mask = 0;
    } else {
      ++position;
      previous_mask |= 1;
      if (IsNearTopByte(top)) previous_mask |= 0x10;
    }
  }
}

}  // namespace payload
