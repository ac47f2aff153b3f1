// What every patchpack command shares: its arguments taken apart, and the one
// kind of failure it reports. A command throws CommandError; main prints its
// message as the single line on stderr and exits with its status.
#pragma once

#include <map>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

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

// Thrown by ParseArguments for --version, where the command gives the option
// no meaning of its own, so every command answers it the same way in main.
struct VersionRequest {};

// A mistake in how the command was called, as opposed to in its input.
CommandError UsageError(const std::string& message);

struct OptionSpec {
  std::set<std::string> with_value;     // such as "-o", followed by its value
  std::set<std::string> switches;       // such as "--x86"
  std::set<std::string> repeated = {};  // options with a value that may come again
};

struct ParsedArguments {
  bool help = false;  // -h or --help anywhere
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;
  std::set<std::string> switches;
  std::map<std::string, std::vector<std::string>> lists;  // values of repeated options, in order
};

// Refuses unknown options, a missing option value and an option given twice
// (but for those of `repeated`).
// Long options take their value as "--name value" or "--name=value".
// "--" ends the options, so a file named like one can still be given.
ParsedArguments ParseArguments(std::span<const std::string> arguments, const OptionSpec& spec);

// "1 archive", "2 archives": the count and the noun in its number.
std::string Plural(std::size_t count, const std::string& one, const std::string& many);

// Signature of a command: the arguments after its name; returns the exit status.
using CommandFunction = int (*)(std::span<const std::string> arguments);

int RunBuildCommand(std::span<const std::string> arguments);
int RunInspectCommand(std::span<const std::string> arguments);
int RunAttachCommand(std::span<const std::string> arguments);
int RunDiffCommand(std::span<const std::string> arguments);
int RunVerifyCommand(std::span<const std::string> arguments);

}  // namespace patchpack
