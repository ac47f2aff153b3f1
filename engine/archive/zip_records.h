// The fixed parts of the zip format that the merge reads and writes itself,
// beside minizip: record signatures and record sizes. The merge's limit on
// entry names is the installer's, in engine/name_limits.h.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace engine::zip_records
