// The payload container: one filter byte, the 13-byte LZMA_Alone header, LZMA1
// data, and a SHA-1 trailer over everything before it.
//
//   offset 0      filter flag (0 none, 1 x86 BCJ after decoding)
//   offset 1..13  LZMA_Alone header: properties, dictionary size, 64-bit size
//   offset 14     LZMA1 data
//   last 20       SHA-1 of all preceding bytes
//
// None of these operations throws; each reports by its result and the
// installation run decides what the user sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace payload {

inline constexpr std::size_t kTrailerSize = 20;
inline constexpr std::size_t kHeaderSize = 14;

// True when the SHA-1 of all bytes but the last 20 equals the last 20.
// The caller guarantees more than 20 bytes.
bool CheckPayloadTrailer(std::span<const std::uint8_t> payload);

// The declared size of the decoded stream, read from the body (the payload
// without its trailer); nullopt when the body is shorter than the header or
// the size does not fit in 32 bits.
std::optional<std::uint32_t> ReadDeclaredSize(std::span<const std::uint8_t> body);

// What DecodePayload found. Only kOk is a success; every other result leaves
// the block partly or wholly undefined.
enum class DecodeResult {
  kOk,             // the block is full
  kTooShort,       // less than the 14-byte header and the 5 bytes that LZMA1 data begins with
  kUnknownFilter,  // the filter flag is neither 0 nor 1
  kBadProperties,  // the properties byte is 225 or more, or lc + lp is over 4
  kNoMemory,       // liblzma could not allocate its dictionary or state
  kDamaged,        // the data is corrupt or a match reaches back before the block
  kEndsEarly,      // the data, or an end marker in it, ends before the block is full
};

// Called as decoding goes on, with the bytes of the block decoded so far.
using DecodeProgress = std::function<void(std::size_t decoded)>;

// Decodes the body into `block`, whose size is the declared size.
// `produced`, when given, receives the number of bytes decoded; `progress`,
// when given, hears of every slice of the block as it is filled, for a tool
// that shows a long decode to its user.
// Besides the block, decoding holds liblzma's dictionary, as large as the
// block since any byte produced may be referred back to, and about 30 KB of
// decoder state; both are released before it returns. The x86 pass converts
// the block in place.
DecodeResult DecodePayload(std::span<const std::uint8_t> body, std::span<std::uint8_t> block,
                           std::size_t* produced = nullptr, const DecodeProgress& progress = {});

}  // namespace payload
