// The error of every staged file or staged archive that cannot be created,
// written or closed.
#pragma once

#include "engine/install_error.h"
#include "messages/message_table.h"

namespace engine {

inline InstallError WriteError() {
  return InstallError(messages::Message(messages::MsgId::WriteError));
}

}  // namespace engine
