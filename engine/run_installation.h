// One installation run: from the embedded payload to "Update installed
// successfully!", talking to its user only through the host and to the disk
// only through the file system.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "engine/fs/file_system.h"
#include "engine/installer_host.h"

namespace engine {

// Yields the payload bytes that the executable carries, or nullopt when it
// carries none. The bytes stay valid for the life of the process.
using PayloadLoader = std::function<std::optional<std::span<const std::uint8_t>>()>;

// The patch stream as the payload decodes into it: one block of `size`
// bytes.
struct DecodedStream {
  std::unique_ptr<std::uint8_t[]> block;
  std::uint32_t size = 0;
};

// Yields the decoded patch stream. Called once, inside the run, as its first
// step; it may end the run by throwing an InstallError.
using StreamLoader = std::function<DecodedStream()>;

// Runs the whole installation in the current directory. Always returns 0 and
// never throws: every outcome, an exception from anywhere below included,
// has been reported through the host by then.
int RunInstallation(InstallerHost& host, FileSystem& file_system,
                    const PayloadLoader& load_payload);

// The same run from a stream that someone else has verified and decoded: for
// the fuzz targets, which reach the steps after the decoding thousands of
// times a second without packing every input as a payload first.
int RunInstallation(InstallerHost& host, FileSystem& file_system, const StreamLoader& load_stream);

}  // namespace engine
