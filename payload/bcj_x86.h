// The x86 branch converter (BCJ) in its decoding direction.
//
// Before compression the packer rewrote the relative targets of x86 CALL (E8)
// and JMP (E9) instructions as absolute ones, which repeat more often and so
// compress better; this turns them back. It is the published converter with
// start position 0 and an empty initial state, the same conversion as
// liblzma's x86 filter, run in place over a whole decoded block.
#pragma once

#include <cstdint>
#include <span>

namespace payload {

// Converts the block in place. No byte among the last four is taken as an
// opcode (an opcode at the fifth byte from the end still has its four operand
// bytes converted); a block of fewer than five bytes is left as it is.
void DecodeX86Branches(std::span<std::uint8_t> block);

}  // namespace payload
