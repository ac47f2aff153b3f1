#include "shell/console/installer_messages.h"

#include "messages/message_table.h"
#include "shell/console/linked_messages.h"
#include "shell/console/own_bundle.h"

namespace console {

bool LoadInstallerMessages() {
  // The loader copies the texts, so the attached bytes need not outlive it.
  if (auto attached = ReadOwnBundlePart(BundlePart::MessageTable)) {
    return messages::LoadMessageTable(*attached);
  }
  const auto linked = LinkedMessageTable();
  return linked && messages::LoadMessageTable(*linked);
}

}  // namespace console
