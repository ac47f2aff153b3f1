// Writing a new file to the end, on POSIX, so that the device starts on it
// at once. A run flushes every staged file before its first rename; left to
// itself the kernel keeps freshly written pages in memory until then, and
// the flush waits for all of them at the end. Asking for the write-out of
// each large piece as it is written lets the device work while the run goes
// on, and the flush finds most of the file already there. Only a request:
// the flush still makes every byte durable.
#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "base/whole_transfer_posix.h"

namespace engine {

// Pieces smaller than this are left to the flush: a request per small write
// (a local header's fix-up) would cost more than it gains.
inline constexpr std::size_t kWriteBackPiece = std::size_t{256} << 10;

inline void StartWriteBack(int fd, off_t offset, std::size_t size) {
#ifdef SYNC_FILE_RANGE_WRITE
  if (size >= kWriteBackPiece)
    sync_file_range(fd, offset, static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#else
  (void)fd, (void)offset, (void)size;
#endif
}

// The most one system call writes. Linux copies a buffered write into
// page-cache folios sized from the write, and a write of a mebibyte or more
// gets the largest ones, which can cost far more to provide than the copy:
// on a virtual machine whose host hands out memory lazily, 600 MB written
// in 1 MiB calls took 1.36 s of system time where 256 KiB calls took 0.18 s,
// and no size was faster when memory was at hand.
inline constexpr std::size_t kLargestWrite = std::size_t{256} << 10;

// Writes every byte at `offset`, in calls of at most kLargestWrite,
// resuming after interruptions and partial writes, then asks for their
// write-out. False when a write fails.
inline bool WriteAllAt(int fd, off_t offset, const void* data, std::size_t size) {
  if (!base::WriteWholeAt(fd, data, size, static_cast<std::uint64_t>(offset), kLargestWrite)) {
    return false;
  }
  StartWriteBack(fd, offset, size);
  return true;
}

}  // namespace engine
