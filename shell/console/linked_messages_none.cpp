// The installer built without a message table, so that the tests can see
// what a missing table does.
#include "shell/console/linked_messages.h"

namespace console {

std::optional<std::span<const std::uint8_t>> LinkedMessageTable() { return std::nullopt; }

}  // namespace console
