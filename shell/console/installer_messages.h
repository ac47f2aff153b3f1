// Loads the message table at start-up: the one attached by patchpack if
// there is one, else the one linked into the executable.
#pragma once

namespace console {

// False when the installer has no table at all.
bool LoadInstallerMessages();

}  // namespace console
