// The staging progress on a terminal: one bar redrawn in place with a
// carriage return, and cleared before any text is printed, so that the
// texts read exactly as they do without it. Output that is no terminal (a
// pipe, a file, a transcript) gets nothing from it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace console {

class ProgressBar {
 public:
  // Draws on `stream` only when it is a terminal.
  explicit ProgressBar(std::FILE* stream);

  // Redraws at most about ten times a second; the last state (done equal
  // to total) is always drawn.
  void Show(std::uint64_t done, std::uint64_t total);
  // Takes the bar off its line, if it is drawn, leaving the cursor at the
  // line's start.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;

  std::FILE* stream_;
  bool terminal_;
  bool drawn_ = false;
  Clock::time_point last_drawn_;
};

}  // namespace console
