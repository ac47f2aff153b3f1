#include "shell/console/folder_prompt.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/utf8.h"
#include "messages/message_table.h"
#include "shell/console/terminal_output.h"

namespace console {
namespace {

namespace fs = std::filesystem;

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// What a shell would make of "~" and "~/..."; other forms are taken as typed.
std::string ExpandHome(const std::string& typed) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || typed.empty() || typed[0] != '~') return typed;
  if (typed.size() == 1 || typed[1] == '/') return home + typed.substr(1);
  return typed;
}

bool IsFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

}  // namespace

std::string BrowseForGameFolder(const std::string& initial, LineReader& input) {
  std::error_code error;
  const fs::path start = fs::current_path(error);
  const std::string preselected = !initial.empty() && IsFolder(initial) ? initial : start.string();

  PrintLine(stdout, base::ToUtf8(messages::Message(messages::MsgId::ChooseFolder)));
  for (;;) {
    Print(stdout, "[" + preselected + "] > ");
    std::string line;
    if (input.ReadLine(line) != LineReader::Result::Line) {
      Print(stdout, "\n");
      return {};
    }
    const std::string typed = Trimmed(line);
    const fs::path chosen = start / ExpandHome(typed.empty() ? preselected : typed);
    if (!IsFolder(chosen)) {
      PrintLine(stdout, "Not a folder: " + chosen.string());
      continue;
    }
    // The root is refused, as a drive root is on Windows: it never holds a
    // game, and a patch must not scatter its files there.
    std::string folder = chosen.lexically_normal().string();
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder;
  }
}

}  // namespace console
