// The fixed parts of the zip format that the merge reads and writes itself,
// beside minizip: record signatures, record sizes and little-endian fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine::zip_records {

inline constexpr std::uint32_t kCentralSignature = 0x02014b50;
inline constexpr std::uint32_t kLocalSignature = 0x04034b50;
inline constexpr std::uint32_t kEndSignature = 0x06054b50;
inline constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
inline constexpr std::uint32_t kDigitalSignature = 0x05054b50;

inline constexpr std::size_t kCentralSize = 46;
inline constexpr std::size_t kLocalSize = 30;
inline constexpr std::size_t kEndSize = 22;
inline constexpr std::size_t kZip64EndSize = 56;
inline constexpr std::size_t kZip64LocatorSize = 20;

// The `bytes`-byte little-endian field at `at`.
inline std::uint64_t ReadLittle(const std::uint8_t* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

inline void AppendLittle(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace engine::zip_records
