// The error of every staged file or staged archive that cannot be created,
// written or closed.
#pragma once

#include "engine/install_error.h"
#include "shell/message_table.h"

namespace engine {

inline InstallError WriteError() { return InstallError(shell::Message(shell::MsgId::WriteError)); }

}  // namespace engine
