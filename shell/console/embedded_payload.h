// Where the console installer keeps its patch payload: the bundle that
// patchpack attached to its executable. This is the loader the console shell
// hands to the run.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace console {

// The payload bytes, read in place; nullopt when the executable has none.
std::optional<std::span<const std::uint8_t>> FindEmbeddedPayload();

}  // namespace console
