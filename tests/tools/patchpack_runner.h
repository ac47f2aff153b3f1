// Runs the real patchpack binary, whose path the build passes in.
#pragma once

#include <string>

#include "tests/support/command.h"

namespace patchpack_test {

using test_support::CommandResult;

inline CommandResult RunPatchpack(const std::string& arguments) {
  return test_support::RunCommand(test_support::Quoted(PATCHPACK_PATH) + " " + arguments);
}

// A failure is reported as exactly one line on stderr, and nothing on stdout.
inline bool IsOneLineError(const CommandResult& result) {
  return result.out.empty() && result.err.rfind("patchpack: ", 0) == 0 &&
         result.err.find('\n') == result.err.size() - 1;
}

}  // namespace patchpack_test
