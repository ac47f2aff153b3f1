// Little-endian fields, the byte order of every binary format this project
// reads or writes: the payload header, the patch stream, zip records, the
// console bundle's footer, ELF and PE headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace base {

// The number that `bytes` (at most 8 of them) hold, least significant first.
constexpr std::uint64_t LoadLittleEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

// Fills `out` with the low bytes of `value`, least significant first.
constexpr void StoreLittleEndian(std::span<std::uint8_t> out, std::uint64_t value) {
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Appends the `size` low bytes of `value`, least significant first.
inline void AppendLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value,
                               std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace base
