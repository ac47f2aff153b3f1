// A bounded walk over DER, the encoding of certificates and signatures: each
// element is a tag, a length and that many bytes of content, and a reader
// hands out one element at a time without ever reading past its bytes. It
// understands only what DER allows: one-byte tags and definite lengths of at
// most four bytes. Anything else ends the walk, as signatures come from files
// that anybody can write.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace patchpack::der {

// Tags of the universal and context-specific elements that patchpack reads.
inline constexpr std::uint8_t kInteger = 0x02, kObjectIdentifier = 0x06, kUtf8String = 0x0C,
                              kPrintableString = 0x13, kTeletexString = 0x14, kIa5String = 0x16,
                              kBmpString = 0x1E, kSequence = 0x30, kSet = 0x31, kContextZero = 0xA0,
                              kContextOne = 0xA1;

struct Element {
  std::uint8_t tag = 0;
  std::span<const std::uint8_t> content;
  // The whole element, tag and length included: two names are compared so.
  std::span<const std::uint8_t> encoded;
};

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : rest_(bytes) {}

  bool AtEnd() const { return rest_.empty(); }

  // The next element; nullopt when the bytes end or do not make one, after
  // which the reader stays at its end.
  std::optional<Element> Next();

  // The next element when its tag is `tag`; nullopt (and the reader at its
  // end) otherwise.
  std::optional<Element> Next(std::uint8_t tag);

  // The next element when its tag is `tag`; otherwise nothing is taken.
  std::optional<Element> NextIf(std::uint8_t tag);

 private:
  std::span<const std::uint8_t> rest_;
};

}  // namespace patchpack::der
