#include "bundle/bundle_format.h"

#include <algorithm>
#include <limits>

#include "base/little_endian.h"

namespace bundle {
namespace {

constexpr std::array<std::uint8_t, 8> kMagic = {'P', 'I', 'B', 'U', 'N', 'D', 'L', 'E'};

// a + b, or nullopt when the sum does not fit: a footer from a hostile file
// must not wrap around into a plausible layout.
std::optional<std::uint64_t> Add(std::uint64_t a, std::uint64_t b) {
  if (a > std::numeric_limits<std::uint64_t>::max() - b) return std::nullopt;
  return a + b;
}

}  // namespace

std::array<std::uint8_t, kFooterSize> EncodeFooter(const BundleLayout& layout) {
  std::array<std::uint8_t, kFooterSize> footer{};
  std::span<std::uint8_t> out(footer);
  std::copy(kMagic.begin(), kMagic.end(), footer.begin());
  base::StoreLittleEndian(out.subspan(8, 4), kFormatVersion);
  base::StoreLittleEndian(out.subspan(16, 8), layout.stub_size);
  base::StoreLittleEndian(out.subspan(24, 8), layout.payload_size);
  base::StoreLittleEndian(out.subspan(32, 8), layout.messages_size);
  return footer;
}

bool HasFooterMagic(std::span<const std::uint8_t> footer) {
  return footer.size() == kFooterSize && std::equal(kMagic.begin(), kMagic.end(), footer.begin());
}

std::optional<BundleLayout> DecodeFooter(std::span<const std::uint8_t> footer,
                                         std::uint64_t file_size) {
  if (!HasFooterMagic(footer)) return std::nullopt;
  if (base::LoadLittleEndian(footer.subspan(8, 4)) != kFormatVersion ||
      base::LoadLittleEndian(footer.subspan(12, 4)) != 0) {
    return std::nullopt;
  }
  BundleLayout layout;
  layout.stub_size = base::LoadLittleEndian(footer.subspan(16, 8));
  layout.payload_size = base::LoadLittleEndian(footer.subspan(24, 8));
  layout.messages_size = base::LoadLittleEndian(footer.subspan(32, 8));

  std::optional<std::uint64_t> total = Add(layout.stub_size, layout.payload_size);
  if (total) total = Add(*total, layout.messages_size);
  if (total) total = Add(*total, kFooterSize);
  if (!total || *total != file_size) return std::nullopt;
  return layout;
}

}  // namespace bundle
