// Progress of long work on stderr, so that stdout stays the command's report.
// On a terminal: one bar redrawn in place (bytes done of the total, rate,
// time left). Otherwise: a plain line at most every few seconds. Work that
// ends within a moment shows nothing, and --quiet shows nothing at all. Any
// command can use it: make one with the total, call Advance as bytes are
// done, and Finish at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace patchpack {

class ProgressReporter {
 public:
  enum class Mode { Quiet, Terminal, Lines };

  // Terminal when stderr is one, else Lines; Quiet when `quiet`.
  static Mode ModeForStderr(bool quiet);

  ProgressReporter(std::string what, std::uint64_t total, Mode mode);
  ~ProgressReporter();
  ProgressReporter(const ProgressReporter&) = delete;
  ProgressReporter& operator=(const ProgressReporter&) = delete;

  void Advance(std::uint64_t bytes);
  // Draws the final state if anything was shown, and ends the bar's line.
  void Finish();

 private:
  using Clock = std::chrono::steady_clock;
  void Show(bool final);

  std::string what_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
  Mode mode_;
  Clock::time_point start_;
  Clock::time_point last_shown_;
  bool shown_ = false;
  bool finished_ = false;
};

// "12.3 MB": decimal units, as a player's file manager shows free space.
std::string ByteCount(std::uint64_t bytes);

}  // namespace patchpack
