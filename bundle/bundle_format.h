// The attached form of the console installer: the stub executable's own
// bytes, then the payload, then optionally a replacement message table, then a
// fixed footer as the very last bytes of the file. patchpack writes it; the
// installer reads it back from its own executable.
//
//   footer, 40 bytes, integers little-endian:
//   offset 0   magic "PIBUNDLE"
//   offset 8   u32 format version (1)
//   offset 12  u32 reserved, 0
//   offset 16  u64 stub size: where the payload begins
//   offset 24  u64 payload size
//   offset 32  u64 message table size (0: use the table linked into the stub)
//
// The three sizes and the footer add up to the file size exactly, so a footer
// that merely looks right at the end of some other file is not taken for one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace bundle {

inline constexpr std::size_t kFooterSize = 40;
inline constexpr std::uint32_t kFormatVersion = 1;

struct BundleLayout {
  std::uint64_t stub_size = 0;
  std::uint64_t payload_size = 0;
  std::uint64_t messages_size = 0;

  std::uint64_t payload_offset() const { return stub_size; }
  std::uint64_t messages_offset() const { return stub_size + payload_size; }
};

std::array<std::uint8_t, kFooterSize> EncodeFooter(const BundleLayout& layout);

// True when the bytes carry the footer's magic, whatever else they hold: a
// file that has it but fails DecodeFooter is a damaged bundle, not a stub.
bool HasFooterMagic(std::span<const std::uint8_t> footer);

// The layout that the last kFooterSize bytes of a file of `file_size` bytes
// describe; nullopt unless they are a footer of this format version whose
// sizes add up to the file size.
std::optional<BundleLayout> DecodeFooter(std::span<const std::uint8_t> footer,
                                         std::uint64_t file_size);

}  // namespace bundle
