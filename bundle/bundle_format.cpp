#include "bundle/bundle_format.h"

#include <algorithm>
#include <limits>

namespace bundle {
namespace {

constexpr std::array<std::uint8_t, 8> kMagic = {'P', 'I', 'B', 'U', 'N', 'D', 'L', 'E'};

void Put(std::span<std::uint8_t> out, std::uint64_t value) {
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t Get(std::span<const std::uint8_t> in) {
  std::uint64_t value = 0;
  for (std::size_t i = in.size(); i-- > 0;) value = (value << 8) | in[i];
  return value;
}

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
  Put(out.subspan(8, 4), kFormatVersion);
  Put(out.subspan(16, 8), layout.stub_size);
  Put(out.subspan(24, 8), layout.payload_size);
  Put(out.subspan(32, 8), layout.messages_size);
  return footer;
}

bool HasFooterMagic(std::span<const std::uint8_t> footer) {
  return footer.size() == kFooterSize && std::equal(kMagic.begin(), kMagic.end(), footer.begin());
}

std::optional<BundleLayout> DecodeFooter(std::span<const std::uint8_t> footer,
                                         std::uint64_t file_size) {
  if (!HasFooterMagic(footer)) return std::nullopt;
  if (Get(footer.subspan(8, 4)) != kFormatVersion || Get(footer.subspan(12, 4)) != 0) {
    return std::nullopt;
  }
  BundleLayout layout;
  layout.stub_size = Get(footer.subspan(16, 8));
  layout.payload_size = Get(footer.subspan(24, 8));
  layout.messages_size = Get(footer.subspan(32, 8));

  std::optional<std::uint64_t> total = Add(layout.stub_size, layout.payload_size);
  if (total) total = Add(*total, layout.messages_size);
  if (total) total = Add(*total, kFooterSize);
  if (!total || *total != file_size) return std::nullopt;
  return layout;
}

}  // namespace bundle
