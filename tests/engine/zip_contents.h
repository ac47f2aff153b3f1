// Writing and reading small zip archives in tests, through minizip's own
// default file layer, independent of the engine's file system.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace engine::test {

// Entries in archive order: name and content.
using ZipEntries = std::vector<std::pair<std::string, std::string>>;

// Creates (or replaces) the archive at a '/'-separated path, and its folders;
// entries are deflated.
void WriteZip(const std::string& path, const ZipEntries& entries);

// Every entry in archive order with its decompressed content, or nullopt
// when the archive cannot be read in full or a CRC does not match.
std::optional<ZipEntries> ReadZip(const std::string& path);

}  // namespace engine::test
