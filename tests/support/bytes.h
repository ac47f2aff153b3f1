// Byte strings for tests: repeatable pseudo-random content.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

using Bytes = std::vector<std::uint8_t>;

// Same seed, same bytes, so that a failure can be run again.
Bytes RandomBytes(std::size_t size, std::uint32_t seed);

}  // namespace test_support
