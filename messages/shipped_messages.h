// The message table that the installers ship with, from
// resources/messages.txt, linked in as a generated array: the console stub's
// built-in table, and the texts patchpack verify shows.
#pragma once

#include <cstdint>
#include <span>

namespace messages {

std::span<const std::uint8_t> ShippedMessageTable();

}  // namespace messages
