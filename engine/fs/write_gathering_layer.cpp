#include "engine/fs/write_gathering_layer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "engine/fs/page_aligned_buffer.h"
#include "engine/fs/read_window.h"
#include "engine/fs/zip_function_table.h"

namespace engine {
namespace {

class BufferedFile {
 public:
  BufferedFile(const zlib_filefunc64_def& base, voidpf stream, int mode)
      : base_(base), stream_(stream) {
    if ((mode & ZLIB_FILEFUNC_MODE_CREATE) != 0) {
      buffer_ = MakePageAlignedBuffer(WriteGatheringLayer::kBufferSize);
    } else if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ) {
      reader_ = std::make_unique<ReadWindow>(base, stream);
    }
  }

  bool buffered() const { return buffer_ != nullptr; }
  // The window of a file opened only for reading, or null.
  ReadWindow* reader() const { return reader_.get(); }
  voidpf stream() const { return stream_; }

  uLong Write(const void* bytes, uLong size) {
    // A write wholly before the window, minizip's fix-up of a local header
    // already handed down, goes straight down and leaves the window where
    // it is, so that the large writes keep ending on multiples of the
    // buffer size.
    if (position_ + size <= window_start_) return WriteThrough(bytes, size);
    const auto* from = static_cast<const std::uint8_t*>(bytes);
    for (uLong left = size; left > 0;) {
      // A position outside the buffered window starts a new window there.
      if (position_ < window_start_ || position_ > window_start_ + filled_) StartWindow();
      std::size_t offset = static_cast<std::size_t>(position_ - window_start_);
      if (offset == WindowLimit()) {
        StartWindow();
        offset = 0;
      }
      const std::size_t take = std::min<std::size_t>(left, WindowLimit() - offset);
      std::memcpy(buffer_.get() + offset, from, take);
      filled_ = std::max(filled_, offset + take);
      position_ += take;
      from += take;
      left -= static_cast<uLong>(take);
    }
    return failed_ ? 0 : size;
  }

  uLong Read(void* bytes, uLong size) {
    StartWindow();
    if (!BaseSeek(position_)) return 0;
    const uLong read = base_.zread_file(base_.opaque, stream_, bytes, size);
    position_ += read;
    base_position_ = position_;
    window_start_ = position_;
    return read;
  }

  long Seek(ZPOS64_T offset, int origin) {
    switch (origin) {
      case ZLIB_FILEFUNC_SEEK_SET:
        position_ = offset;
        return 0;
      case ZLIB_FILEFUNC_SEEK_CUR:
        position_ += offset;
        return 0;
      default: {
        // The end may lie in the buffer or beyond it, in the file.
        StartWindow();
        if (base_.zseek64_file(base_.opaque, stream_, 0, ZLIB_FILEFUNC_SEEK_END) != 0) return -1;
        const ZPOS64_T end = base_.ztell64_file(base_.opaque, stream_);
        if (end == static_cast<ZPOS64_T>(-1)) return -1;
        base_position_ = end;
        position_ = end + offset;
        window_start_ = position_;
        return 0;
      }
    }
  }

  ZPOS64_T Tell() const { return position_; }

  // Hands the buffer down; false when the file has failed at any point.
  bool Flush() {
    if (filled_ > 0 && !failed_) {
      failed_ =
          !BaseSeek(window_start_) || base_.zwrite_file(base_.opaque, stream_, buffer_.get(),
                                                        static_cast<uLong>(filled_)) != filled_;
      base_position_ = window_start_ + filled_;
    }
    window_start_ += filled_;
    filled_ = 0;
    return !failed_;
  }

  bool failed() const { return failed_; }

 private:
  uLong WriteThrough(const void* bytes, uLong size) {
    if (!failed_) {
      failed_ =
          !BaseSeek(position_) || base_.zwrite_file(base_.opaque, stream_, bytes, size) != size;
      base_position_ = position_ + size;
    }
    position_ += size;
    return failed_ ? 0 : size;
  }

  // The window ends where the file reaches the next multiple of the buffer
  // size, so that every full write below is aligned to it.
  std::size_t WindowLimit() const {
    return WriteGatheringLayer::kBufferSize - window_start_ % WriteGatheringLayer::kBufferSize;
  }

  void StartWindow() {
    Flush();
    window_start_ = position_;
  }

  bool BaseSeek(ZPOS64_T offset) {
    if (base_position_ == offset) return true;
    if (base_.zseek64_file(base_.opaque, stream_, offset, ZLIB_FILEFUNC_SEEK_SET) != 0) {
      return false;
    }
    base_position_ = offset;
    return true;
  }

  const zlib_filefunc64_def& base_;
  voidpf stream_;
  PageAlignedBuffer buffer_;
  std::unique_ptr<ReadWindow> reader_;
  // The file offset of the buffer's first byte and how many bytes it holds.
  ZPOS64_T window_start_ = 0;
  std::size_t filled_ = 0;
  ZPOS64_T position_ = 0;
  // Where the layer below stands; a new file starts at 0.
  ZPOS64_T base_position_ = 0;
  bool failed_ = false;
};

const zlib_filefunc64_def& Base(voidpf opaque) {
  return static_cast<WriteGatheringLayer*>(opaque)->base();
}

BufferedFile& File(voidpf stream) { return *static_cast<BufferedFile*>(stream); }

voidpf ZCALLBACK Open(voidpf opaque, const void* filename, int mode) {
  const zlib_filefunc64_def& base = Base(opaque);
  voidpf stream = base.zopen64_file(base.opaque, filename, mode);
  if (stream == nullptr) return nullptr;
  try {
    return new BufferedFile(base, stream, mode);
  } catch (const std::bad_alloc&) {
    base.zclose_file(base.opaque, stream);
    return nullptr;
  }
}

uLong ZCALLBACK Read(voidpf opaque, voidpf stream, void* buffer, uLong size) {
  if (ReadWindow* reader = File(stream).reader()) return reader->Read(buffer, size);
  if (File(stream).buffered()) return File(stream).Read(buffer, size);
  return Base(opaque).zread_file(Base(opaque).opaque, File(stream).stream(), buffer, size);
}

uLong ZCALLBACK Write(voidpf opaque, voidpf stream, const void* buffer, uLong size) {
  if (File(stream).buffered()) return File(stream).Write(buffer, size);
  return Base(opaque).zwrite_file(Base(opaque).opaque, File(stream).stream(), buffer, size);
}

ZPOS64_T ZCALLBACK Tell(voidpf opaque, voidpf stream) {
  if (ReadWindow* reader = File(stream).reader()) return reader->Tell();
  if (File(stream).buffered()) return File(stream).Tell();
  return Base(opaque).ztell64_file(Base(opaque).opaque, File(stream).stream());
}

long ZCALLBACK Seek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
  if (ReadWindow* reader = File(stream).reader()) return reader->Seek(offset, origin);
  if (File(stream).buffered()) return File(stream).Seek(offset, origin);
  return Base(opaque).zseek64_file(Base(opaque).opaque, File(stream).stream(), offset, origin);
}

int ZCALLBACK Close(voidpf opaque, voidpf stream) {
  std::unique_ptr<BufferedFile> file(&File(stream));
  const bool flushed = !file->buffered() || file->Flush();
  const int result = Base(opaque).zclose_file(Base(opaque).opaque, file->stream());
  return flushed ? result : -1;
}

int ZCALLBACK Error(voidpf opaque, voidpf stream) {
  if (ReadWindow* reader = File(stream).reader()) return reader->Error();
  if (File(stream).failed()) return 1;
  return Base(opaque).zerror_file(Base(opaque).opaque, File(stream).stream());
}

}  // namespace

zlib_filefunc64_def WriteGatheringLayer::functions() {
  return ZipFunctionTable(Open, Read, Write, Tell, Seek, Close, Error, this);
}

}  // namespace engine
