#include "tests/support/command.h"

#include <sys/wait.h>

#include <cstdlib>

#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace test_support {

CommandResult RunCommand(const std::string& command_line) {
  TempDir capture("command");
  // The parentheses make the redirections hold for a list such as "cd x && y"
  // as a whole; the newline ends a trailing comment.
  const std::string full =
      "(" + command_line + "\n) >" + Quoted(capture / "out") + " 2>" + Quoted(capture / "err");
  const int status = std::system(full.c_str());
  CommandResult result;
  result.exit_code = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadText(capture / "out");
  result.err = ReadText(capture / "err");
  return result;
}

::testing::AssertionResult Succeeded(const CommandResult& result) {
  if (result.exit_code == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "exit code " << result.exit_code << ": " << result.err;
}

std::string Quoted(const std::filesystem::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace test_support
