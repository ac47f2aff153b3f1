// patchpack: makes and examines patch payloads. Each command lives in its own
// file; this one only finds the command and turns its failure into one line
// on stderr and an exit status.
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "tools/patchpack/commands/command_line.h"

namespace {

struct Command {
  std::string_view name;
  std::string_view summary;
  patchpack::CommandFunction run;
};

constexpr Command kCommands[] = {
    {"build", "build a payload from a patch source folder", &patchpack::RunBuildCommand},
    {"inspect", "check a payload and list what the patch does", &patchpack::RunInspectCommand},
    {"attach", "attach a payload to an installer stub, console or Windows",
     &patchpack::RunAttachCommand},
    {"diff", "write a patch source folder from an old and a new game folder",
     &patchpack::RunDiffCommand},
    {"verify", "install a patch on a scratch copy of a game and report the result",
     &patchpack::RunVerifyCommand},
};

void PrintHelp() {
  std::cout << "usage: patchpack COMMAND [ARGUMENTS]\n\n"
               "Makes and examines the payloads that the patch installer carries.\n\n"
               "commands:\n";
  for (const Command& command : kCommands) {
    std::cout << "  " << command.name << std::string(10 - command.name.size(), ' ')
              << command.summary << "\n";
  }
  std::cout << "\n'patchpack COMMAND --help' describes a command.\n"
               "'patchpack --version' or 'patchpack COMMAND --version' prints the version\n"
               "(diff takes --version N as the patch version).\n"
               "Long options take their value as --name=value too.\n"
               "Exit status: 0 on success, 1 when the command fails, 2 for a usage error.\n";
}

int Dispatch(const std::vector<std::string>& arguments) {
  if (arguments.empty()) throw patchpack::UsageError("no command given");
  const std::string& name = arguments[0];
  if (name == "--version") {
    patchpack::PrintVersion();
    return 0;
  }
  if (name == "-h" || name == "--help" || name == "help") {
    PrintHelp();
    return 0;
  }
  for (const Command& command : kCommands) {
    if (command.name == name) {
      return command.run(std::span<const std::string>(arguments).subspan(1));
    }
  }
  throw patchpack::UsageError("unknown command '" + name + "'");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  try {
    return Dispatch(arguments);
  } catch (const patchpack::CommandError& error) {
    std::cerr << "patchpack: " << error.what() << "\n";
    return error.exit_code();
  } catch (const std::bad_alloc&) {
    std::cerr << "patchpack: out of memory\n";
  } catch (const std::exception& error) {
    std::cerr << "patchpack: " << error.what() << "\n";
  }
  return patchpack::kExitFailure;
}
