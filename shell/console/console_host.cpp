#include "shell/console/console_host.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "base/ascii.h"
#include "base/utf8.h"
#include "messages/message_table.h"
#include "shell/console/terminal_output.h"
#include "shell/install_flags.h"

namespace console {
namespace {

std::string Lowered(std::string text) {
  text = base::ToLowerAscii(text);
  text.erase(0, text.find_first_not_of(" \t"));
  text.erase(text.find_last_not_of(" \t") + 1);
  return text;
}

}  // namespace

ConsoleHost::ConsoleHost(LineReader& input, std::function<void()> ended)
    : input_(input), ended_(std::move(ended)) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) == 0) {
    wake_read_ = base::UniqueFd(ends[0]);
    wake_write_ = base::UniqueFd(ends[1]);
  }
}

void ConsoleHost::SetStatusText(const char16_t* text) {
  bar_.Clear();
  PrintLine(stdout, base::ToUtf8(text));
}

void ConsoleHost::SetButtonText(const char16_t* text) {
  // The button cancels while the run is under way; in a terminal that is
  // Ctrl+C, so say so beside its caption. A table too short to hold either
  // caption gives null for both, and the final Close must not offer Ctrl+C.
  bar_.Clear();
  std::string caption = base::ToUtf8(text);
  if (text == messages::Message(messages::MsgId::Cancel) &&
      text != messages::Message(messages::MsgId::Close)) {
    caption += ": Ctrl+C";
  }
  PrintLine(stdout, "[" + caption + "]");
}

bool ConsoleHost::AskYesNo(const char16_t* text) {
  bar_.Clear();
  Print(stdout, base::ToUtf8(text) + " [y/n] ");
  for (;;) {
    std::string line;
    switch (input_.ReadLine(line, wake_read_.get())) {
      case LineReader::Result::EndOfInput:
        PrintLine(stdout, "");
        return true;
      case LineReader::Result::Interrupted:
        PrintLine(stdout, "");
        return false;
      case LineReader::Result::Line:
        break;
    }
    const std::string answer = Lowered(line);
    if (answer == "y" || answer == "yes") return true;
    if (answer == "n" || answer == "no") return false;
    Print(stdout, "[y/n] ");
  }
}

void ConsoleHost::ShowError(const char16_t* text) {
  error_shown_ = true;
  bar_.Clear();
  PrintLine(stderr, "Error: " + base::ToUtf8(text));
}

void ConsoleHost::CloseDialog() {
  bar_.Clear();
  ended_();
}

bool ConsoleHost::IsCancelRequested() { return shell::CancelRequested; }

void ConsoleHost::ShowProgress(std::uint64_t done, std::uint64_t total) { bar_.Show(done, total); }

void ConsoleHost::MarkFinished() {
  shell::InstallFinished = true;
  ended_();
}

void ConsoleHost::RequestCancel() {
  if (shell::InstallFinished || shell::CancelRequested.exchange(true)) return;
  const char wake = 1;
  if (wake_write_.valid()) {
    [[maybe_unused]] const ssize_t written = ::write(wake_write_.get(), &wake, 1);
  }
}

}  // namespace console
