#include "bench/process_timer.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace bench {
namespace {

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "payload_bench: %s\n", message.c_str());
  std::exit(1);
}

}  // namespace

ProcessRun RunProgram(const std::vector<std::string>& argv) {
  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);

  // A real fork, not posix_spawn: a child that borrows our address space
  // until exec inherits our peak memory as its own, and its figure would say
  // nothing about the program it runs.
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child < 0) Fail("cannot start " + argv[0]);
  if (child == 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);
    execvp(arguments[0], arguments.data());
    _exit(127);
  }

  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) Fail("lost " + argv[0]);
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail(argv[0] + " failed");
  auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
  return {elapsed.count(), usage.ru_maxrss, seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

ProcessRun BestRun(int runs, const std::vector<std::string>& argv) {
  ProcessRun best{1e30, 0};
  for (int i = 0; i < runs; ++i) {
    ProcessRun run = RunProgram(argv);
    if (run.seconds < best.seconds) best = run;
  }
  return best;
}

std::string CaptureOutput(const std::string& command) {
  struct PipeCloser {
    void operator()(FILE* pipe) const { pclose(pipe); }
  };
  std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
  if (!pipe) Fail("cannot start: " + command);
  std::string output;
  char chunk[65536];
  std::size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0) output.append(chunk, count);
  if (pclose(pipe.release()) != 0) Fail("failed: " + command);
  return output;
}

}  // namespace bench
