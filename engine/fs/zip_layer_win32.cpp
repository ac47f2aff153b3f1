#include "engine/fs/zip_layer_win32.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <utility>

#include "base/unique_handle_win32.h"

#include "engine/fs/path_beneath_win32.h"
#include "engine/fs/zip_stream.h"

namespace engine {
namespace {

// Reads and writes at a position, as pread and pwrite do: on a handle opened
// without FILE_FLAG_OVERLAPPED, an OVERLAPPED offset makes the call start
// there and still return only when it is done. Calls move at most this much,
// as DWORD counts allow.
constexpr std::size_t kLargestCall = std::size_t{1} << 30;

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// An archive's handle, closed with it, and the folders on the way to it,
// held while it is open. Windows has no call that starts the write-out of a
// range without waiting for it; the system's lazy writer starts on the
// written pages soon after, and the run's flush waits for the rest.
class ArchiveFile {
 public:
  ArchiveFile(FoldersOnTheWay way, base::UniqueHandle handle)
      : way_(std::move(way)), handle_(std::move(handle)) {}

  bool WriteAt(std::uint64_t offset, const void* bytes, std::size_t size) const {
    const auto* from = static_cast<const std::uint8_t*>(bytes);
    while (size > 0) {
      OVERLAPPED at = At(offset);
      DWORD count = 0;
      const auto chunk = static_cast<DWORD>(std::min(size, kLargestCall));
      if (!WriteFile(handle_.get(), from, chunk, &count, &at) || count == 0) return false;
      from += count;
      offset += count;
      size -= count;
    }
    return true;
  }
  // minizip asks for at most a uLong, 32 bits on Windows, as is ReadFile's
  // count.
  base::ReadResult ReadAt(std::uint64_t offset, void* bytes, std::size_t size) const {
    OVERLAPPED at = At(offset);
    DWORD count = 0;
    // A read that starts at or beyond the end fails with ERROR_HANDLE_EOF:
    // that is an end, not a failure.
    const bool failed = !ReadFile(handle_.get(), bytes, static_cast<DWORD>(size), &count, &at) &&
                        GetLastError() != ERROR_HANDLE_EOF;
    return {count, failed};
  }
  bool Size(std::uint64_t& size) const {
    LARGE_INTEGER got;
    if (!GetFileSizeEx(handle_.get(), &got)) return false;
    size = static_cast<std::uint64_t>(got.QuadPart);
    return true;
  }
  bool Close() { return CloseHandle(handle_.release()) != 0; }

 private:
  FoldersOnTheWay way_;
  base::UniqueHandle handle_;
};

using ArchiveStream = ZipStream<ArchiveFile>;

HANDLE OpenHandle(const ZipLayerWin32& layer, const char* path, int mode) {
  // Readers share the archive with other readers (a running launcher, a
  // virus scanner); a file opened for update or created is not shared.
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if ((mode & ZLIB_FILEFUNC_MODE_EXISTING) != 0) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if ((mode & ZLIB_FILEFUNC_MODE_CREATE) != 0) {
    return layer.create_own_file()(path, GENERIC_READ | GENERIC_WRITE, 0);
  }
  return INVALID_HANDLE_VALUE;
}

voidpf ZCALLBACK Open(voidpf opaque, const void* filename, int mode) {
  if (filename == nullptr) return nullptr;
  const char* path = static_cast<const char*>(filename);
  FoldersOnTheWay way(path);
  if (!way.held()) return nullptr;
  base::UniqueHandle handle(OpenHandle(*static_cast<const ZipLayerWin32*>(opaque), path, mode));
  if (!handle.valid()) return nullptr;
  try {
    return new ArchiveStream(ArchiveFile(std::move(way), std::move(handle)),
                             (mode & ZLIB_FILEFUNC_MODE_CREATE) != 0);
  } catch (const std::exception&) {
    // No memory or no thread: the archive cannot be written, and the handle
    // and the folders close with whichever owner holds them.
    return nullptr;
  }
}

}  // namespace

zlib_filefunc64_def ZipLayerWin32::functions() { return ArchiveStream::Functions(Open, this); }

}  // namespace engine
