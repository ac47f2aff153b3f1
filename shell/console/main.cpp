// The console installer: loads its texts, finds the game folder, makes it
// the current directory and runs the installation carried inside itself.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include <cerrno>
#include <cstring>
#include <string>

#include "messages/message_table.h"
#include "shell/console/folder_settings.h"
#include "shell/console/game_folder.h"
#include "shell/console/installer_messages.h"
#include "shell/console/installer_session.h"
#include "shell/console/line_reader.h"
#include "shell/console/terminal_output.h"

namespace {

constexpr const char* kUsage =
    "Usage: patch-installer [--help | --version]\n"
    "\n"
    "Installs the game patch that this program carries. Run it in the game\n"
    "folder (the one holding sv.exe and data/game.ini), or let it find the\n"
    "folder through InstallPath= in\n"
    "${XDG_CONFIG_HOME:-$HOME/.config}/quillmarch/stormhaven.conf, or choose\n"
    "the folder when asked. Ctrl+C cancels; nothing changes until every new\n"
    "file has been written in full.\n"
    "\n"
    "Exit codes: 0 installed, 1 an error was shown, 2 not installed (No\n"
    "answered, cancelled, no folder found or chosen), 255 message table\n"
    "missing.\n";

// Only these two arguments mean anything; every other argument is ignored,
// as the installer takes no options.
bool AnswerArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      console::Print(stdout, kUsage);
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      console::PrintLine(stdout, std::string("patch-installer ") + PI_VERSION);
      return true;
    }
  }
  return false;
}

// A standard descriptor that the caller left closed would be taken by the
// first file or pipe that the installer opens: a question would then wait on
// the installer's own wake-up pipe instead of meeting the end of its input,
// and a status line could land in a game file. Such a descriptor is opened
// on /dev/null, so that it reads as empty and swallows what is written.
void OpenClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is `fd` itself, as those below it are open.
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened != fd && opened >= 0) ::close(opened);
  }
}

int Install() {
  console::LineReader input(STDIN_FILENO);
  const std::string folder =
      console::FindGameFolder(console::ReadFolderSettings(console::SettingsFilePath()), input);
  if (folder.empty()) return console::kNotInstalled;
  if (::chdir(folder.c_str()) != 0) {
    // Installing anywhere else would scatter the patch's files; say why not.
    console::PrintLine(
        stderr, "Error: cannot open the game folder " + folder + ": " + std::strerror(errno));
    return console::kErrorShown;
  }
  return console::RunInstallerSession(input);
}

}  // namespace

int main(int argc, char** argv) {
  OpenClosedStandardDescriptors();
  // A reader of the output that goes away (`patch-installer | head`) must not
  // kill the installer halfway through its commit; lost output is harmless.
  std::signal(SIGPIPE, SIG_IGN);
  if (AnswerArguments(argc, argv)) return console::kInstalled;
  // Without its texts the installer can say nothing, not even why.
  if (!console::LoadInstallerMessages()) return console::kMessagesMissing;
  const int exit_code = Install();
  messages::ReleaseMessageTable();
  return exit_code;
}
