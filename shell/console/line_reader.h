// Reads the user's answers from standard input a line at a time. Buffered
// here rather than in stdio because a wait for input must also end when the
// user presses Ctrl+C, which arrives on a second descriptor.
#pragma once

#include <unistd.h>

#include <string>

namespace console {

class LineReader {
 public:
  enum class Result { Line, EndOfInput, Interrupted };

  explicit LineReader(int fd) : fd_(fd), from_terminal_(::isatty(fd) == 1) {}

  // Waits for one line and stores it without its line end (LF or CR LF).
  // Returns Interrupted as soon as `wake_fd` (when not -1) becomes readable;
  // the byte that woke it is left there, so later waits end at once too. A
  // last line without a line end still counts as a line.
  Result ReadLine(std::string& line, int wake_fd = -1);

 private:
  int fd_;
  bool from_terminal_;
  std::string buffer_;
  bool at_end_ = false;
};

}  // namespace console
