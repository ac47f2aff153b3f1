// Helpers shared by the payload tests: a scratch folder that removes itself,
// whole-file reads and writes, running a command line tool, and repeatable
// pseudo-random bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace payload_test {

using Bytes = std::vector<std::uint8_t>;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);

// Runs `command` through the shell and returns what it printed on standard
// output; fails the current test when it exits non-zero.
std::string RunCommand(const std::string& command);

// Same seed, same bytes.
Bytes RandomBytes(std::size_t size, std::uint32_t seed);

// Bytes that look like machine code to the x86 filter: many call and jump
// opcodes followed by small positive or negative displacements.
Bytes CodeLikeBytes(std::size_t size, std::uint32_t seed);

}  // namespace payload_test
