// What every patchpack command shares: its arguments taken apart, its help
// and version answered, and the one kind of failure it reports
// (CommandError, which main prints as the single line on stderr).
#pragma once

#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "tools/patchpack/report/command_error.h"

namespace patchpack {

// A mistake in how the command was called, as opposed to in its input.
CommandError UsageError(const std::string& message);

struct OptionSpec {
  std::set<std::string> with_value;     // such as "-o", followed by its value
  std::set<std::string> switches;       // such as "--x86"
  std::set<std::string> repeated = {};  // options with a value that may come again
};

struct ParsedArguments {
  bool help = false;  // -h or --help anywhere
  // --version, where the command gives the option no meaning of its own; the
  // arguments after it are not looked at, so every command answers it alike.
  bool version = false;
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

// Prints `help` for --help or the version for --version and returns true
// when the command has nothing more to do.
bool AnswerHelpOrVersion(const ParsedArguments& parsed, const char* help);

// "patchpack 1.2.3": the answer to --version.
void PrintVersion();

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
