// The one failure that leaves any part of patchpack: a message for the user
// and the exit status. Each part translates its own failures (a zip layer's
// code, a PE image that does not parse, a stream that breaks its grammar)
// into this where they leave it, so main catches one type and prints its
// message as the single line on stderr.
#pragma once

#include <stdexcept>
#include <string>

namespace patchpack {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

class CommandError : public std::runtime_error {
 public:
  explicit CommandError(const std::string& message, int exit_code = kExitFailure)
      : std::runtime_error(message), exit_code_(exit_code) {}
  int exit_code() const { return exit_code_; }

 private:
  int exit_code_;
};

}  // namespace patchpack
