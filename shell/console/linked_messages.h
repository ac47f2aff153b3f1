// The message table that the build links into the installer, from
// resources/messages.txt. A table attached by patchpack takes its place.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace console {

// The linked-in table bytes; nullopt in a build made without one.
std::optional<std::span<const std::uint8_t>> LinkedMessageTable();

}  // namespace console
