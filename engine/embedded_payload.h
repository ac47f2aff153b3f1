// Where the running executable keeps its patch payload: a resource on
// Windows, the attached bundle on other platforms.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace engine {

// The payload bytes, read in place; nullopt when the executable has none.
std::optional<std::span<const std::uint8_t>> FindEmbeddedPayload();

}  // namespace engine
