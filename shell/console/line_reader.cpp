#include "shell/console/line_reader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "shell/console/terminal_output.h"

namespace console {

LineReader::Result LineReader::ReadLine(std::string& line, int wake_fd) {
  for (;;) {
    const std::size_t end = buffer_.find('\n');
    if (end != std::string::npos || (at_end_ && !buffer_.empty())) {
      line = buffer_.substr(0, end);
      buffer_.erase(0, end == std::string::npos ? buffer_.size() : end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // Answers from a pipe or file are not echoed by any terminal; showing
      // them keeps the transcript readable.
      if (!from_terminal_) Print(stdout, line + "\n");
      return Result::Line;
    }
    if (at_end_) return Result::EndOfInput;

    pollfd waits[2] = {{fd_, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    const nfds_t count = wake_fd >= 0 ? 2 : 1;
    if (::poll(waits, count, -1) < 0) {
      if (errno == EINTR) continue;
      at_end_ = true;
      continue;
    }
    if (count == 2 && waits[1].revents != 0) return Result::Interrupted;
    if (waits[0].revents == 0) continue;

    char chunk[4096];
    const ssize_t got = ::read(fd_, chunk, sizeof chunk);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    // A read error ends the input like end of file: there is nobody to ask.
    if (got <= 0) {
      at_end_ = true;
    } else {
      buffer_.append(chunk, static_cast<std::size_t>(got));
    }
  }
}

}  // namespace console
