// Where the Windows installer keeps its patch payload: the resource
// "PATCHDATA" 101 of its own executable. This is the loader the progress
// dialog hands to the run.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace shell::win32 {

// The payload bytes, read in place; nullopt when the executable has none.
std::optional<std::span<const std::uint8_t>> FindEmbeddedPayload();

}  // namespace shell::win32
