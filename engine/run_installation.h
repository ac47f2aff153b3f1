// One installation run: from the embedded payload to "Update installed
// successfully!", talking to its user only through the host and to the disk
// only through the file system.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "engine/fs/file_system.h"
#include "engine/installer_host.h"

namespace engine {

// Yields the payload bytes that the executable carries, or nullopt when it
// carries none. The bytes stay valid for the life of the process.
using PayloadLoader = std::function<std::optional<std::span<const std::uint8_t>>()>;

// Runs the whole installation in the current directory. Always returns 0 and
// never throws: every outcome, an exception from anywhere below included,
// has been reported through the host by then.
int RunInstallation(InstallerHost& host, FileSystem& file_system,
                    const PayloadLoader& load_payload);

}  // namespace engine
