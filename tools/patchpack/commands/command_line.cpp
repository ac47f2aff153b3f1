#include "tools/patchpack/commands/command_line.h"

#include <iostream>

namespace patchpack {

void PrintVersion() { std::cout << "patchpack " << PI_VERSION << "\n"; }

bool AnswerHelpOrVersion(const ParsedArguments& parsed, const char* help) {
  if (parsed.version) {
    PrintVersion();
  } else if (parsed.help) {
    std::cout << help;
  }
  return parsed.version || parsed.help;
}

CommandError UsageError(const std::string& message) {
  return CommandError(message + " (see --help)", kExitUsage);
}

std::string Plural(std::size_t count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

ParsedArguments ParseArguments(std::span<const std::string> arguments, const OptionSpec& spec) {
  ParsedArguments parsed;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::size_t equals = argument.find('=');
    if (!options_ended && argument.starts_with("--") && equals != std::string::npos) {
      // --name=value, the same as --name value.
      std::string name = argument.substr(0, equals);
      if (spec.repeated.contains(name)) {
        parsed.lists[name].push_back(argument.substr(equals + 1));
        continue;
      }
      if (!spec.with_value.contains(name)) throw UsageError("unknown option " + name);
      if (!parsed.values.emplace(name, argument.substr(equals + 1)).second) {
        throw UsageError("option " + name + " given twice");
      }
    } else if (options_ended || argument.empty() || argument[0] != '-' || argument == "-") {
      parsed.positional.push_back(argument);
    } else if (argument == "--") {
      options_ended = true;
    } else if (argument == "--version" && !spec.with_value.contains(argument)) {
      parsed.version = true;
      return parsed;
    } else if (argument == "-h" || argument == "--help") {
      parsed.help = true;
    } else if (spec.switches.contains(argument)) {
      if (!parsed.switches.insert(argument).second) {
        throw UsageError("option " + argument + " given twice");
      }
    } else if (spec.repeated.contains(argument)) {
      if (i + 1 == arguments.size()) throw UsageError("option " + argument + " needs a value");
      parsed.lists[argument].push_back(arguments[++i]);
    } else if (spec.with_value.contains(argument)) {
      if (i + 1 == arguments.size()) throw UsageError("option " + argument + " needs a value");
      if (!parsed.values.emplace(argument, arguments[++i]).second) {
        throw UsageError("option " + argument + " given twice");
      }
    } else {
      throw UsageError("unknown option " + argument);
    }
  }
  return parsed;
}

}  // namespace patchpack
