// The reading side of the archive layer: a file opened only for reading is
// read through one page-aligned buffer filled by large reads that start on a
// page boundary. minizip and the merge read an old archive in small pieces
// at scattered places (the central directory field by field, each entry's
// central and local headers before its data), seeking before almost every
// read; through the stdio layer below, each seek throws its buffer away and
// each read becomes a system call. Here a seek is only a change of position,
// and a read inside the buffered window is a copy. A read larger than the
// buffer goes straight into the caller's memory.
//
// The file must not change while it is open: the window is never refreshed.
#pragma once

#include <minizip/ioapi.h>

#include <cstddef>
#include <cstdint>

#include "engine/fs/page_aligned_buffer.h"

namespace engine {

class ReadWindow {
 public:
  static constexpr std::size_t kBufferSize = LayerBufferSize(std::size_t{256} << 10);

  // `base` must outlive the window; `stream` was opened through it.
  ReadWindow(const zlib_filefunc64_def& base, voidpf stream);

  // As minizip's callbacks: the count of bytes read, 0 or -1 for a seek. A
  // short read leaves the reason to the layer below's error callback.
  uLong Read(void* bytes, uLong size);
  long Seek(ZPOS64_T offset, int origin);
  ZPOS64_T Tell() const { return position_; }
  // The layer below's error callback; answered here when nothing has been
  // asked of the layer below since it last said there was no error.
  int Error();

 private:
  // Reads up to `size` bytes at `offset` from the layer below.
  uLong ReadBelow(ZPOS64_T offset, void* bytes, uLong size);

  const zlib_filefunc64_def& base_;
  voidpf stream_;
  PageAlignedBuffer buffer_;
  // The file offset of the buffer's first byte and how many bytes it holds.
  ZPOS64_T window_start_ = 0;
  std::size_t filled_ = 0;
  ZPOS64_T position_ = 0;
  // Where the layer below stands; all ones when it is not known.
  ZPOS64_T base_position_ = 0;
  // The end of the file once a fill has stopped short of it without an
  // error, all ones before: past it nothing is read below again.
  ZPOS64_T file_end_ = ~ZPOS64_T{0};
  // True when the layer below said it had no error and has not been called
  // since: minizip asks after every short read, and past the end of a
  // damaged archive it reads thousands of times.
  bool known_clean_ = false;
};

}  // namespace engine
