#include "engine/fs/zip_layer_posix.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <utility>

#include "base/unique_fd.h"
#include "base/whole_transfer_posix.h"
#include "engine/fs/early_write_out_posix.h"
#include "engine/fs/path_beneath_posix.h"
#include "engine/fs/zip_stream.h"

namespace engine {
namespace {

// An archive's descriptor, closed with it.
class ArchiveFile {
 public:
  explicit ArchiveFile(base::UniqueFd fd) : fd_(std::move(fd)) {}

  bool WriteAt(std::uint64_t offset, const void* bytes, std::size_t size) const {
    return WriteAllAt(fd_.get(), static_cast<off_t>(offset), bytes, size);
  }
  base::ReadResult ReadAt(std::uint64_t offset, void* bytes, std::size_t size) const {
    return base::ReadWholeAt(fd_.get(), bytes, size, offset);
  }
  bool Size(std::uint64_t& size) const {
    const off_t end = lseek(fd_.get(), 0, SEEK_END);
    size = static_cast<std::uint64_t>(end);
    return end >= 0;
  }
  bool Close() { return ::close(fd_.release()) == 0; }

 private:
  base::UniqueFd fd_;
};

using ArchiveStream = ZipStream<ArchiveFile>;

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
    return new ArchiveStream(ArchiveFile(std::move(fd)), (mode & ZLIB_FILEFUNC_MODE_CREATE) != 0);
  } catch (const std::exception&) {
    // No memory or no thread: the archive cannot be written, and the
    // descriptor closes with whichever owner holds it.
    return nullptr;
  }
}

}  // namespace

zlib_filefunc64_def ZipLayerPosix::functions() { return ArchiveStream::Functions(Open, this); }

}  // namespace engine
