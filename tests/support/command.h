// Running a shell command line from a test, with what it prints captured.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace test_support {

struct CommandResult {
  int exit_code = -1;  // -1 when the shell itself did not exit normally
  std::string out;
  std::string err;
};

// Runs `command_line` with /bin/sh in the current directory; its standard
// output and error are captured apart, for the whole line.
CommandResult RunCommand(const std::string& command_line);

// Success when the command exited with 0; otherwise its exit code and
// standard error, for the failure message.
::testing::AssertionResult Succeeded(const CommandResult& result);

// Quotes a path for the shell.
std::string Quoted(const std::filesystem::path& path);

}  // namespace test_support
