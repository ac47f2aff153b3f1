// The installer as it ships: the message table of resources/messages.txt.
#include "messages/shipped_messages.h"
#include "shell/console/linked_messages.h"

namespace console {

std::optional<std::span<const std::uint8_t>> LinkedMessageTable() {
  return messages::ShippedMessageTable();
}

}  // namespace console
