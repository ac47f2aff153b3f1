// Bytes that look like machine code to the x86 filter, for the payload tests.
#pragma once

#include <cstdint>

#include "tests/support/bytes.h"

namespace payload_test {

using test_support::Bytes;

// Many call and jump opcodes followed by small positive or negative
// displacements; the same seed gives the same bytes.
Bytes CodeLikeBytes(std::size_t size, std::uint32_t seed);

}  // namespace payload_test
