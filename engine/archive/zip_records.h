// The fixed parts of the zip format that the merge reads and writes itself,
// beside minizip: record signatures, record sizes and the merge's limits.
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

// The longest old entry name the merge takes. Names are read into a buffer of
// this many characters and a terminator; a longer name would be copied cut
// short, so the merge refuses it and patchpack's diff ships such an archive
// whole instead.
inline constexpr std::size_t kMaxEntryNameLength = 256;

}  // namespace engine::zip_records
