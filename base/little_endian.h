// Little-endian fields, the byte order of every binary format this project
// reads or writes: the payload header, the patch stream, zip records, the
// console bundle's footer, ELF and PE headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace base {

// The number that `bytes` (at most 8 of them) hold, least significant first.
constexpr std::uint64_t LoadLittleEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

// The `size` bytes at `offset` of `bytes`; nullopt when they would run past
// its end. The loads of a hostile file go through here, so that no offset it
// holds, however large, sends a parser outside its bytes.
constexpr std::optional<std::span<const std::uint8_t>> BytesWithin(
    std::span<const std::uint8_t> bytes, std::uint64_t offset, std::uint64_t size) {
  if (offset > bytes.size() || size > bytes.size() - offset) return std::nullopt;
  return bytes.subspan(offset, size);
}

// The `size`-byte field (at most 8) at `offset` of `bytes`; nullopt when it
// would run past its end.
constexpr std::optional<std::uint64_t> LoadLittleEndianAt(std::span<const std::uint8_t> bytes,
                                                          std::uint64_t offset, std::size_t size) {
  const auto field = BytesWithin(bytes, offset, size);
  if (!field) return std::nullopt;
  return LoadLittleEndian(*field);
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
