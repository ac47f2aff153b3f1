// Owns one liblzma coder, encoder or decoder, and ends it when it goes, so
// that no way out of a coding loop leaks liblzma's dictionary.
#pragma once

#include <lzma.h>

namespace payload {

class LzmaStream {
 public:
  LzmaStream() = default;
  ~LzmaStream() { lzma_end(&stream_); }
  LzmaStream(const LzmaStream&) = delete;
  LzmaStream& operator=(const LzmaStream&) = delete;

  lzma_stream* get() { return &stream_; }
  lzma_stream* operator->() { return &stream_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

}  // namespace payload
