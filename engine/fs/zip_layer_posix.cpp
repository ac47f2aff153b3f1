#include "engine/fs/zip_layer_posix.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <utility>

#include "base/unique_fd.h"
#include "base/whole_transfer_posix.h"
#include "engine/fs/early_write_out_posix.h"
#include "engine/fs/path_beneath_posix.h"
#include "engine/fs/write_behind.h"
#include "engine/fs/zip_function_table.h"

namespace engine {
namespace {

// One open archive: its descriptor, closed with it, the position the next
// read or write starts at, and whether a read or a write has failed. A new
// archive is written behind, on a thread of its own.
class ZipStream {
 public:
  ZipStream(base::UniqueFd fd, bool created) : fd_(std::move(fd)) {
    if (created) {
      behind_ = std::make_unique<WriteBehind>(
          [fd = fd_.get()](std::uint64_t offset, const void* bytes, std::size_t size) {
            return WriteAllAt(fd, static_cast<off_t>(offset), bytes, size);
          });
    }
  }

  int fd() const { return fd_.get(); }
  off_t position = 0;

  bool Write(const void* bytes, std::size_t size) {
    const bool written = behind_ ? behind_->Write(static_cast<std::uint64_t>(position), bytes, size)
                                 : WriteAllAt(fd_.get(), position, bytes, size);
    failed_ = failed_ || !written;
    return written;
  }
  // Before the file itself is looked at: what was written is there.
  bool Settle() { return !behind_ || behind_->Drain(); }
  void Fail() { failed_ = true; }
  bool failed() const { return failed_ || (behind_ && behind_->failed()); }
  // Finishes the writes and closes the descriptor now, so that the caller
  // sees whether both worked.
  bool Close() {
    const bool settled = Settle();
    behind_.reset();
    return ::close(fd_.release()) == 0 && settled;
  }

 private:
  base::UniqueFd fd_;
  // Declared after the descriptor, so that it is gone before the close.
  std::unique_ptr<WriteBehind> behind_;
  bool failed_ = false;
};

ZipStream& Stream(voidpf stream) { return *static_cast<ZipStream*>(stream); }

int OpenFd(const char* filename, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_CREATE) != 0) return CreateOwnFileBeneath(filename);
  // An existing file opened for update is the staged archive's own, opened
  // again to finish its records.
  const bool read_only = (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ;
  const int fd = OpenBeneath(filename, read_only ? O_RDONLY : O_RDWR);
  // An old archive is read from start to end, once: a longer read-ahead
  // keeps the device busy while the merge works on what it has.
  if (fd >= 0 && read_only) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

voidpf ZCALLBACK Open(voidpf, const void* filename, int mode) {
  if (filename == nullptr) return nullptr;
  base::UniqueFd fd(OpenFd(static_cast<const char*>(filename), mode));
  if (!fd.valid()) return nullptr;
  try {
    return new ZipStream(std::move(fd), (mode & ZLIB_FILEFUNC_MODE_CREATE) != 0);
  } catch (const std::exception&) {
    // No memory or no thread: the archive cannot be written, and the
    // descriptor closes with whichever owner holds it.
    return nullptr;
  }
}

uLong ZCALLBACK Read(voidpf, voidpf opened, void* buffer, uLong size) {
  ZipStream& stream = Stream(opened);
  if (!stream.Settle()) return 0;
  const base::ReadResult read =
      base::ReadWholeAt(stream.fd(), buffer, size, static_cast<std::uint64_t>(stream.position));
  if (read.failed) stream.Fail();
  stream.position += static_cast<off_t>(read.done);
  return static_cast<uLong>(read.done);
}

uLong ZCALLBACK Write(voidpf, voidpf opened, const void* buffer, uLong size) {
  ZipStream& stream = Stream(opened);
  if (!stream.Write(buffer, size)) return 0;
  stream.position += static_cast<off_t>(size);
  return size;
}

ZPOS64_T ZCALLBACK Tell(voidpf, voidpf opened) {
  return static_cast<ZPOS64_T>(Stream(opened).position);
}

long ZCALLBACK Seek(voidpf, voidpf opened, ZPOS64_T offset, int origin) {
  ZipStream& stream = Stream(opened);
  off_t base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      break;
    case ZLIB_FILEFUNC_SEEK_CUR:
      base = stream.position;
      break;
    case ZLIB_FILEFUNC_SEEK_END:
      if (!stream.Settle()) return -1;
      base = lseek(stream.fd(), 0, SEEK_END);
      if (base < 0) return -1;
      break;
    default:
      return -1;
  }
  // minizip passes negative moves as their two's complement.
  const off_t target = base + static_cast<off_t>(offset);
  if (target < 0) return -1;
  stream.position = target;
  return 0;
}

int ZCALLBACK Close(voidpf, voidpf opened) {
  std::unique_ptr<ZipStream> owned(&Stream(opened));
  return owned->Close() ? 0 : -1;
}

int ZCALLBACK Error(voidpf, voidpf opened) { return Stream(opened).failed() ? 1 : 0; }

}  // namespace

zlib_filefunc64_def ZipLayerPosix::functions() {
  return ZipFunctionTable(Open, Read, Write, Tell, Seek, Close, Error, this);
}

}  // namespace engine
