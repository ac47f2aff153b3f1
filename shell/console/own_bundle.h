// Reads back what patchpack attached to the running installer, found through
// the executable's own file (/proc/self/exe), so the installer needs no
// second file beside it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace console {

enum class BundlePart { Payload, MessageTable };

// The bytes of one part of the attached bundle; nullopt when nothing is
// attached, the part is absent, or the executable cannot be read.
std::optional<std::vector<std::uint8_t>> ReadOwnBundlePart(BundlePart part);

}  // namespace console
