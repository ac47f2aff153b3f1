// A raw deflate stream at level 9 with minizip's parameters (its window,
// memory level and strategy), ended on every way out. One stream serves
// entry after entry: Reset readies it for the next without giving back and
// taking again the few hundred kilobytes that level 9 works in.
#pragma once

// For DEF_MEM_LEVEL, the memory level its writer deflates with.
#include <minizip/zip.h>
#include <zlib.h>

#include "engine/write_error.h"

namespace engine {

class DeflateStream {
 public:
  // Throws WriteError when zlib cannot start a stream.
  DeflateStream() {
    if (deflateInit2(&stream_, 9, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
      throw WriteError();
    }
  }
  ~DeflateStream() { deflateEnd(&stream_); }
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;

  z_stream* operator->() { return &stream_; }
  z_stream* get() { return &stream_; }
  void Reset() { deflateReset(&stream_); }

 private:
  z_stream stream_{};
};

}  // namespace engine
