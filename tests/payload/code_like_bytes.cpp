#include "tests/payload/code_like_bytes.h"

#include <random>

namespace payload_test {

Bytes CodeLikeBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 engine(seed);
  Bytes bytes;
  bytes.reserve(size);
  while (bytes.size() < size) {
    switch (engine() % 4) {
      case 0:
      case 1: {
        // A call or jump with a displacement whose top byte is 00 or FF.
        bytes.push_back(engine() % 2 == 0 ? 0xE8 : 0xE9);
        std::uint32_t displacement = engine() % 0x20000;
        if (engine() % 2 == 0) displacement = 0u - displacement;
        for (int i = 0; i < 4; ++i)
          bytes.push_back(static_cast<std::uint8_t>(displacement >> (8 * i)));
        break;
      }
      case 2:
        bytes.push_back(static_cast<std::uint8_t>(engine() % 2 == 0 ? 0x00 : 0xFF));
        break;
      default:
        bytes.push_back(static_cast<std::uint8_t>(engine()));
    }
  }
  bytes.resize(size);
  return bytes;
}

}  // namespace payload_test
