// One open archive as minizip sees it, and the calls minizip makes on it,
// for both platforms' zip layers. Each layer opens its own kind of file and
// hands it to a ZipStream; from then on the stream keeps the position the
// next read or write starts at and whether a read or a write has failed,
// and reads and writes at that position, so that minizip's idea of where it
// is never depends on a file pointer. A new archive is written behind, on a
// thread of its own (write_behind.h); before anything looks at the file
// itself (a read, the size, the close) the queue is drained.
//
// A layer's File offers, each on the whole file and at a position:
//   bool WriteAt(std::uint64_t offset, const void* bytes, std::size_t size) const;
//       writes every byte or fails; called from the write-behind thread too.
//   base::ReadResult ReadAt(std::uint64_t offset, void* bytes, std::size_t size) const;
//       reads until `size` bytes are in or the file ends.
//   bool Size(std::uint64_t& size) const;
//   bool Close();  closes now and says whether it worked.
#pragma once

#include <minizip/ioapi.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "base/read_result.h"
#include "engine/fs/write_behind.h"
#include "engine/fs/zip_function_table.h"

namespace engine {

template <typename File>
class ZipStream {
 public:
  ZipStream(File file, bool created) : file_(std::move(file)) {
    if (created) {
      behind_ = std::make_unique<WriteBehind>(
          [file = &file_](std::uint64_t offset, const void* bytes, std::size_t size) {
            return file->WriteAt(offset, bytes, size);
          });
    }
  }
  ZipStream(const ZipStream&) = delete;
  ZipStream& operator=(const ZipStream&) = delete;

  // The table minizip calls through, with the layer's own open, which
  // returns a new ZipStream<File> or null.
  static zlib_filefunc64_def Functions(open64_file_func open, voidpf layer) {
    return ZipFunctionTable(open, Read, Write, Tell, Seek, Close, Error, layer);
  }

 private:
  static ZipStream& Of(voidpf opened) { return *static_cast<ZipStream*>(opened); }

  // Before the file itself is looked at: what was written is there.
  bool Settle() { return !behind_ || behind_->Drain(); }
  bool failed() const { return failed_ || (behind_ && behind_->failed()); }

  static uLong ZCALLBACK Read(voidpf, voidpf opened, void* buffer, uLong size) {
    ZipStream& stream = Of(opened);
    if (!stream.Settle()) return 0;
    const base::ReadResult read = stream.file_.ReadAt(stream.position_, buffer, size);
    stream.failed_ = stream.failed_ || read.failed;
    stream.position_ += read.done;
    return static_cast<uLong>(read.done);
  }

  static uLong ZCALLBACK Write(voidpf, voidpf opened, const void* buffer, uLong size) {
    ZipStream& stream = Of(opened);
    const bool written = stream.behind_ ? stream.behind_->Write(stream.position_, buffer, size)
                                        : stream.file_.WriteAt(stream.position_, buffer, size);
    if (!written) {
      stream.failed_ = true;
      return 0;
    }
    stream.position_ += size;
    return size;
  }

  static ZPOS64_T ZCALLBACK Tell(voidpf, voidpf opened) { return Of(opened).position_; }

  static long ZCALLBACK Seek(voidpf, voidpf opened, ZPOS64_T offset, int origin) {
    ZipStream& stream = Of(opened);
    std::uint64_t base = 0;
    switch (origin) {
      case ZLIB_FILEFUNC_SEEK_SET:
        break;
      case ZLIB_FILEFUNC_SEEK_CUR:
        base = stream.position_;
        break;
      case ZLIB_FILEFUNC_SEEK_END:
        if (!stream.Settle() || !stream.file_.Size(base)) return -1;
        break;
      default:
        return -1;
    }
    // minizip passes negative moves as their two's complement.
    const std::uint64_t target = base + offset;
    if (static_cast<std::int64_t>(target) < 0) return -1;
    stream.position_ = target;
    return 0;
  }

  // Finishes the writes and closes the file now, so that minizip sees
  // whether both worked.
  static int ZCALLBACK Close(voidpf, voidpf opened) {
    std::unique_ptr<ZipStream> owned(&Of(opened));
    const bool settled = owned->Settle();
    owned->behind_.reset();
    return owned->file_.Close() && settled ? 0 : -1;
  }

  static int ZCALLBACK Error(voidpf, voidpf opened) { return Of(opened).failed() ? 1 : 0; }

  File file_;
  // Declared after the file, so that its thread is gone before the file.
  std::unique_ptr<WriteBehind> behind_;
  std::uint64_t position_ = 0;
  bool failed_ = false;
};

}  // namespace engine
