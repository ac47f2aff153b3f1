// Runs a program with pipes on its three standard streams, the way a user
// at a terminal would, and sends a signal when its output shows a given text.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/shell/installer_fixture.h"

extern char** environ;

namespace installer_test {
namespace {

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    read = ends[0];
    write = ends[1];
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (read >= 0) ::close(read);
    read = -1;
  }
  void CloseWrite() {
    if (write >= 0) ::close(write);
    write = -1;
  }
};

std::vector<std::string> Environment(const std::map<std::string, std::string>& changes) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (!changes.contains(text.substr(0, text.find('=')))) result.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (!value.empty()) result.push_back(name + "=" + value);
  }
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

RunResult RunProgram(const fs::path& program, const RunOptions& options) {
  std::vector<std::string> arguments = {program.string()};
  arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
  std::vector<std::string> environment = Environment(options.environment);
  std::vector<char*> argv = Pointers(arguments);
  std::vector<char*> envp = Pointers(environment);
  const std::string directory = options.directory.string();

  Pipe input, output, error;
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    if (::dup2(input.read, 0) < 0 || ::dup2(output.write, 1) < 0 || ::dup2(error.write, 2) < 0 ||
        ::chdir(directory.c_str()) != 0) {
      ::_exit(126);
    }
    if (options.close_input) ::close(0);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  input.CloseRead();
  output.CloseWrite();
  error.CloseWrite();
  // The answers are short enough for the pipe's buffer.
  if (!options.input.empty() && ::write(input.write, options.input.data(), options.input.size()) !=
                                    static_cast<ssize_t>(options.input.size())) {
    throw std::runtime_error("cannot write the program's input");
  }
  if (!options.keep_input_open) input.CloseWrite();

  RunResult result;
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::seconds(options.timeout_seconds);
  const auto kill_time = start + std::chrono::milliseconds(options.kill_after_milliseconds);
  bool killed = false;
  while (output.read >= 0 || error.read >= 0) {
    const auto now = std::chrono::steady_clock::now();
    if (now > deadline) {
      ::kill(child, SIGKILL);
      ADD_FAILURE() << program << " did not end within the time limit";
      break;
    }
    int wait_milliseconds = 1000;
    if (options.kill_after_milliseconds > 0 && !killed) {
      if (now >= kill_time) {
        ::kill(child, SIGKILL);
        killed = true;
      } else {
        wait_milliseconds = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(kill_time - now).count() + 1);
      }
    }
    pollfd waits[2] = {{output.read, POLLIN, 0}, {error.read, POLLIN, 0}};
    if (::poll(waits, 2, std::min(wait_milliseconds, 1000)) < 0) continue;
    for (auto [wait, pipe, text] :
         {std::tuple{waits[0], &output, &result.out}, std::tuple{waits[1], &error, &result.err}}) {
      if (wait.revents == 0) continue;
      char chunk[4096];
      const ssize_t got = ::read(pipe->read, chunk, sizeof chunk);
      if (got <= 0) {
        pipe->CloseRead();
      } else {
        text->append(chunk, static_cast<std::size_t>(got));
      }
    }
    if (!result.interrupted && !options.interrupt_when.empty() &&
        result.out.find(options.interrupt_when) != std::string::npos) {
      result.interrupted = true;
      for (int i = 0; i < options.interrupts; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ::kill(child, options.signal);
      }
    }
  }
  input.CloseWrite();
  int status = 0;
  ::waitpid(child, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace installer_test
