// A file opened directly through a minizip file-function table, for the few
// places where the merge reads or patches an archive itself. Closed on every
// way out; Close reports whether the layer accepted everything.
#pragma once

#include <minizip/ioapi.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace engine {

class LayerStream {
 public:
  LayerStream(const zlib_filefunc64_def& functions, const std::string& path, int mode)
      : functions_(functions),
        stream_(functions.zopen64_file(functions.opaque, path.c_str(), mode)) {}
  ~LayerStream() {
    if (stream_ != nullptr) functions_.zclose_file(functions_.opaque, stream_);
  }
  LayerStream(const LayerStream&) = delete;
  LayerStream& operator=(const LayerStream&) = delete;

  bool is_open() const { return stream_ != nullptr; }
  bool Seek(std::uint64_t offset, int origin) {
    return functions_.zseek64_file(functions_.opaque, stream_, offset, origin) == 0;
  }
  // The position, or all ones on failure.
  std::uint64_t Tell() { return functions_.ztell64_file(functions_.opaque, stream_); }
  // True when all `size` bytes were read.
  bool Read(void* buffer, std::size_t size) {
    return functions_.zread_file(functions_.opaque, stream_, buffer, static_cast<uLong>(size)) ==
           size;
  }
  bool Write(const void* bytes, std::size_t size) {
    return functions_.zwrite_file(functions_.opaque, stream_, bytes, static_cast<uLong>(size)) ==
           size;
  }
  bool Close() {
    voidpf stream = stream_;
    stream_ = nullptr;
    return functions_.zclose_file(functions_.opaque, stream) == 0;
  }

 private:
  // A copy: the caller's table may be a temporary, and a table is a few
  // pointers.
  const zlib_filefunc64_def functions_;
  voidpf stream_;
};

}  // namespace engine
