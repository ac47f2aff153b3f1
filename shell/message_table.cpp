#include "shell/message_table.h"

namespace shell {

// Loading arrives with the engine; until then the table is empty.
bool LoadMessageTable(std::span<const std::uint8_t>) { return false; }
const char16_t* Message(MsgId) { return nullptr; }
void ReleaseMessageTable() {}

}  // namespace shell
