// Byte strings for tests: repeatable pseudo-random content and hex text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace test_support {

using Bytes = std::vector<std::uint8_t>;

// Same seed, same bytes, so that a failure can be run again.
Bytes RandomBytes(std::size_t size, std::uint32_t seed);

// Two lower-case hex digits a byte, as sha1sum and zip_tool.py print them.
std::string Hex(std::span<const std::uint8_t> bytes);

}  // namespace test_support
