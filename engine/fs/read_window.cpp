#include "engine/fs/read_window.h"

#include <algorithm>
#include <cstring>

namespace engine {
namespace {

constexpr ZPOS64_T kUnknown = ~ZPOS64_T{0};

}  // namespace

ReadWindow::ReadWindow(const zlib_filefunc64_def& base, voidpf stream)
    : base_(base), stream_(stream), buffer_(MakePageAlignedBuffer(kBufferSize)) {}

uLong ReadWindow::Read(void* bytes, uLong size) {
  auto* to = static_cast<std::uint8_t*>(bytes);
  uLong done = 0;
  while (done < size) {
    const uLong left = size - done;
    if (position_ >= window_start_ && position_ < window_start_ + filled_) {
      const auto offset = static_cast<std::size_t>(position_ - window_start_);
      const std::size_t take = std::min<std::size_t>(left, filled_ - offset);
      std::memcpy(to + done, buffer_.get() + offset, take);
      position_ += take;
      done += static_cast<uLong>(take);
      continue;
    }
    // The file does not change while it is open: past its end there is
    // nothing to read, however often minizip asks (a damaged extra field
    // has it read thousands of fields there, one byte at a time).
    if (position_ >= file_end_) break;
    if (left >= kBufferSize) {
      const uLong read = ReadBelow(position_, to + done, left);
      position_ += read;
      return done + read;
    }
    // The window starts on the page that holds the position, so that every
    // fill reads whole pages of the file.
    const ZPOS64_T start = position_ - position_ % kPageSize;
    filled_ = 0;
    window_start_ = start;
    filled_ = ReadBelow(start, buffer_.get(), static_cast<uLong>(kBufferSize));
    // The end of the file, or a failure that the error callback tells.
    if (position_ >= window_start_ + filled_) {
      if (Error() == 0) file_end_ = window_start_ + filled_;
      break;
    }
  }
  return done;
}

int ReadWindow::Error() {
  if (known_clean_) return 0;
  const int error = base_.zerror_file(base_.opaque, stream_);
  known_clean_ = error == 0;
  return error;
}

long ReadWindow::Seek(ZPOS64_T offset, int origin) {
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      position_ = offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      position_ += offset;
      return 0;
    default: {
      base_position_ = kUnknown;
      known_clean_ = false;
      if (base_.zseek64_file(base_.opaque, stream_, 0, ZLIB_FILEFUNC_SEEK_END) != 0) return -1;
      const ZPOS64_T end = base_.ztell64_file(base_.opaque, stream_);
      if (end == kUnknown) return -1;
      base_position_ = end;
      position_ = end + offset;
      return 0;
    }
  }
}

uLong ReadWindow::ReadBelow(ZPOS64_T offset, void* bytes, uLong size) {
  known_clean_ = false;
  if (base_position_ != offset) {
    base_position_ = kUnknown;
    if (base_.zseek64_file(base_.opaque, stream_, offset, ZLIB_FILEFUNC_SEEK_SET) != 0) return 0;
  }
  const uLong read = base_.zread_file(base_.opaque, stream_, bytes, size);
  // After a short read the layer below may stand anywhere.
  base_position_ = read == size ? offset + read : kUnknown;
  return read;
}

}  // namespace engine
