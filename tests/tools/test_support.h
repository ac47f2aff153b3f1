// Files and processes for the tools' tests: a temporary folder that removes
// itself, whole-file reads and writes, and running a command line with its
// output captured.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& relative) const { return path_ / relative; }

 private:
  std::filesystem::path path_;
};

Bytes ReadBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);
// Creates the parent folders first.
void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
void WriteText(const std::filesystem::path& path, const std::string& text);

struct CommandResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs a shell command line, capturing its standard output and error.
CommandResult RunCommand(const std::string& command_line);

// Quotes a path for the shell.
std::string Quoted(const std::filesystem::path& path);

}  // namespace testing_support
