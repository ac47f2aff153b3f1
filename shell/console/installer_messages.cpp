#include "shell/console/installer_messages.h"

#include "shell/console/linked_messages.h"
#include "shell/console/own_bundle.h"
#include "shell/message_table.h"

namespace console {

bool LoadInstallerMessages() {
  // The loader copies the texts, so the attached bytes need not outlive it.
  if (auto attached = ReadOwnBundlePart(BundlePart::MessageTable)) {
    return shell::LoadMessageTable(*attached);
  }
  const auto linked = LinkedMessageTable();
  return linked && shell::LoadMessageTable(*linked);
}

}  // namespace console
