// Bytes as hexadecimal text, two lower-case digits a byte: the form in which
// sha1sum prints a digest, and in which patchpack reports one.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace base {

inline std::string LowerHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * bytes.size());
  for (std::uint8_t byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

}  // namespace base
