#include "tests/support/bytes.h"

#include <random>

namespace test_support {

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 engine(seed);
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(engine());
  return bytes;
}

}  // namespace test_support
