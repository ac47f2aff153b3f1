// A minizip file layer over another one that holds what is written to a new
// archive in one buffer and hands it to the layer below in large writes that
// end on multiples of the buffer size. minizip writes a staged archive in
// small pieces (each local header field by field) and seeks back to every
// local header to fill in the CRC-32 and sizes once the entry is written;
// through the layer below each of those seeks and small writes would be a
// system call, and every seek would flush its buffer. Here a seek is only a
// change of position, and a write at a position still in the buffer only
// changes the buffer, so an entry smaller than the buffer reaches the layer
// below once, complete.
//
// Files opened only for reading are read through a ReadWindow instead (see
// read_window.h); files opened both to read and to write are passed through
// unchanged. The layer must outlive every file opened through it.
#pragma once

#include <minizip/ioapi.h>

#include <cstddef>

#include "engine/fs/page_aligned_buffer.h"

namespace engine {

class WriteGatheringLayer {
 public:
  // The buffer of each file opened to be created.
  static constexpr std::size_t kBufferSize = LayerBufferSize(std::size_t{1} << 20);

  explicit WriteGatheringLayer(const zlib_filefunc64_def& base) : base_(base) {}
  WriteGatheringLayer(const WriteGatheringLayer&) = delete;
  WriteGatheringLayer& operator=(const WriteGatheringLayer&) = delete;

  // The table to open files through; its opaque pointer is this layer.
  zlib_filefunc64_def functions();
  const zlib_filefunc64_def& base() const { return base_; }

 private:
  zlib_filefunc64_def base_;
};

}  // namespace engine
