// The localized texts of the installer, loaded once at start-up from the
// UTF-16LE message resource (a byte-order mark, then one message per line,
// lines ended by CR LF) and read-only afterwards.
#pragma once

#include <cstdint>
#include <span>

#include "messages/msg_id.h"

namespace messages {

// Fills the table from the resource bytes. Returns false, leaving every text
// null, when the resource is too short to hold even the byte-order mark.
bool LoadMessageTable(std::span<const std::uint8_t> resource);

// The NUL-terminated text of `id`, or null when the table has none.
const char16_t* Message(MsgId id);

// Frees the buffer; every text is null again afterwards.
void ReleaseMessageTable();

}  // namespace messages
