#include "tools/patchpack/formats/der_reader.h"

namespace patchpack::der {
namespace {

constexpr std::uint8_t kHighTagNumber = 0x1F;
constexpr std::uint8_t kLongLength = 0x80;
constexpr std::size_t kMaxLengthBytes = 4;

}  // namespace

std::optional<Element> Reader::Next() {
  const std::span<const std::uint8_t> bytes = rest_;
  rest_ = {};
  if (bytes.size() < 2 || (bytes[0] & kHighTagNumber) == kHighTagNumber) return std::nullopt;
  std::uint64_t length = bytes[1];
  std::size_t header = 2;
  if (length & kLongLength) {
    const std::size_t count = length & ~kLongLength;
    // 0x80 is BER's indefinite length, which DER forbids.
    if (count == 0 || count > kMaxLengthBytes || bytes.size() < header + count) return std::nullopt;
    length = 0;
    for (std::size_t i = 0; i < count; ++i) length = (length << 8) | bytes[header + i];
    header += count;
  }
  if (length > bytes.size() - header) return std::nullopt;
  rest_ = bytes.subspan(header + length);
  return Element{.tag = bytes[0],
                 .content = bytes.subspan(header, length),
                 .encoded = bytes.first(header + length)};
}

std::optional<Element> Reader::Next(std::uint8_t tag) {
  std::optional<Element> element = Next();
  if (element && element->tag == tag) return element;
  rest_ = {};
  return std::nullopt;
}

std::optional<Element> Reader::NextIf(std::uint8_t tag) {
  if (rest_.empty() || rest_[0] != tag) return std::nullopt;
  return Next();
}

}  // namespace patchpack::der
