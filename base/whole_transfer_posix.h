// Reads and writes at an offset that move every byte asked for. pread and
// pwrite may move fewer bytes than asked (a signal, a pipe, a file system's
// own limit) or be interrupted before moving any; each caller that needs the
// whole transfer would otherwise repeat the same loop.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "base/read_result.h"

namespace base {

// Reads at `offset` until `size` bytes are in `out` or the file ends. A
// failed result leaves errno saying why.
inline ReadResult ReadWholeAt(int fd, void* out, std::size_t size, std::uint64_t offset) {
  auto* to = static_cast<std::uint8_t*>(out);
  ReadResult result;
  while (result.done < size) {
    const ssize_t got =
        ::pread(fd, to + result.done, size - result.done, static_cast<off_t>(offset + result.done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) result.failed = true;
    if (got <= 0) break;
    result.done += static_cast<std::size_t>(got);
  }
  return result;
}

// Writes every byte at `offset`, in calls of at most `largest_call` bytes.
// False when a write fails or the file takes nothing more (errno then says
// why, or is left as it was for a write that took nothing).
inline bool WriteWholeAt(int fd, const void* data, std::size_t size, std::uint64_t offset,
                         std::size_t largest_call = std::numeric_limits<ssize_t>::max()) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t done = 0; done < size;) {
    const std::size_t piece = size - done < largest_call ? size - done : largest_call;
    const ssize_t written = ::pwrite(fd, bytes + done, piece, static_cast<off_t>(offset + done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace base
