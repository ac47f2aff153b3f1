// Runs another program as the benchmark's opponent and measures it: wall
// time and the child's peak resident memory, with its output discarded.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace bench {

struct ProcessRun {
  double seconds = 0;
  long peak_rss_kib = 0;
  // User plus system time: less disturbed than wall time by other work on
  // the machine.
  double cpu_seconds = 0;
};

// Runs argv[0] (found on PATH) with standard output sent to /dev/null.
// Exits the benchmark with a message when the program fails. The child's peak
// memory counts at least our resident memory at the time of the fork, so the
// benchmark keeps that small while it measures other processes.
ProcessRun RunProgram(const std::vector<std::string>& argv);

// The output of a shell command, to check that an opponent computed the same
// result as we did.
std::string CaptureOutput(const std::string& command);

// The fastest of `runs` calls of `work`, in seconds.
template <typename Work>
double BestTime(int runs, Work&& work) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    work();
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed.count() < best) best = elapsed.count();
  }
  return best;
}

// The fastest of `runs` runs of a program, with the peak memory of that run.
ProcessRun BestRun(int runs, const std::vector<std::string>& argv);

}  // namespace bench
