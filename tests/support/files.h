// Whole-file reads and writes for tests. A file that cannot be read or
// written throws, so that the test fails where the file is and not at a
// later comparison with empty content.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/bytes.h"

namespace test_support {

Bytes ReadBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);

// Both create the parent folders first and replace an existing file.
void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
void WriteText(const std::filesystem::path& path, const std::string& text);

// Every regular file below `folder`, by its path relative to `folder`, with
// its content: two snapshots compare equal when nothing in it changed.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder);

}  // namespace test_support
