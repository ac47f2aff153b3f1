#include "engine/fs/zip_layer_win32.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <utility>

#include "base/unique_handle_win32.h"

#include "engine/fs/path_beneath_win32.h"
#include "engine/fs/write_behind.h"
#include "engine/fs/zip_function_table.h"

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

bool WriteAllAt(HANDLE handle, std::uint64_t offset, const void* bytes, std::size_t size) {
  const auto* from = static_cast<const std::uint8_t*>(bytes);
  while (size > 0) {
    OVERLAPPED at = At(offset);
    DWORD count = 0;
    const auto chunk = static_cast<DWORD>(std::min(size, kLargestCall));
    if (!WriteFile(handle, from, chunk, &count, &at) || count == 0) return false;
    from += count;
    offset += count;
    size -= count;
  }
  return true;
}

// One open archive: its handle, closed with it, the position the next read
// or write starts at, whether a read or a write has failed, and the folders
// on the way to it, held while it is open. A new archive is written behind,
// on a thread of its own. Windows has no call that starts the write-out of a
// range without waiting for it; the system's lazy writer starts on the
// written pages soon after, and the run's flush waits for the rest.
class ZipStream {
 public:
  ZipStream(FoldersOnTheWay way, base::UniqueHandle handle, bool created)
      : way_(std::move(way)), handle_(std::move(handle)) {
    if (created) {
      behind_ = std::make_unique<WriteBehind>(
          [handle = handle_.get()](std::uint64_t offset, const void* bytes, std::size_t size) {
            return WriteAllAt(handle, offset, bytes, size);
          });
    }
  }

  HANDLE handle() const { return handle_.get(); }
  std::uint64_t position = 0;

  bool Write(const void* bytes, std::size_t size) {
    const bool written = behind_ ? behind_->Write(position, bytes, size)
                                 : WriteAllAt(handle(), position, bytes, size);
    failed_ = failed_ || !written;
    return written;
  }
  // Before the file itself is looked at: what was written is there.
  bool Settle() { return !behind_ || behind_->Drain(); }
  bool failed() const { return failed_ || (behind_ && behind_->failed()); }
  void Fail() { failed_ = true; }
  // Finishes the writes and closes the handle now, so that the caller sees
  // whether both worked.
  bool Close() {
    const bool settled = Settle();
    behind_.reset();
    return CloseHandle(handle_.release()) != 0 && settled;
  }

 private:
  FoldersOnTheWay way_;
  base::UniqueHandle handle_;
  // Declared after the handle, so that it is gone before the close.
  std::unique_ptr<WriteBehind> behind_;
  bool failed_ = false;
};

ZipStream& Stream(voidpf stream) { return *static_cast<ZipStream*>(stream); }

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
    return new ZipStream(std::move(way), std::move(handle),
                         (mode & ZLIB_FILEFUNC_MODE_CREATE) != 0);
  } catch (const std::exception&) {
    // No memory or no thread: the archive cannot be written, and the handle
    // and the folders close with whichever owner holds them.
    return nullptr;
  }
}

// uLong is 32 bits on Windows, as are ReadFile's and WriteFile's counts.
uLong ZCALLBACK Read(voidpf, voidpf opened, void* buffer, uLong size) {
  ZipStream& stream = Stream(opened);
  if (!stream.Settle()) return 0;
  OVERLAPPED at = At(stream.position);
  DWORD count = 0;
  // A read that starts at or beyond the end fails with ERROR_HANDLE_EOF:
  // that is an end, not a failure.
  if (!ReadFile(stream.handle(), buffer, size, &count, &at) && GetLastError() != ERROR_HANDLE_EOF) {
    stream.Fail();
  }
  stream.position += count;
  return count;
}

uLong ZCALLBACK Write(voidpf, voidpf opened, const void* buffer, uLong size) {
  ZipStream& stream = Stream(opened);
  if (!stream.Write(buffer, size)) return 0;
  stream.position += size;
  return size;
}

ZPOS64_T ZCALLBACK Tell(voidpf, voidpf stream) { return Stream(stream).position; }

long ZCALLBACK Seek(voidpf, voidpf opened, ZPOS64_T offset, int origin) {
  ZipStream& stream = Stream(opened);
  std::uint64_t base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      break;
    case ZLIB_FILEFUNC_SEEK_CUR:
      base = stream.position;
      break;
    case ZLIB_FILEFUNC_SEEK_END: {
      LARGE_INTEGER size;
      if (!stream.Settle() || !GetFileSizeEx(stream.handle(), &size)) return -1;
      base = static_cast<std::uint64_t>(size.QuadPart);
      break;
    }
    default:
      return -1;
  }
  // minizip passes negative moves as their two's complement.
  const std::uint64_t target = base + offset;
  if (static_cast<std::int64_t>(target) < 0) return -1;
  stream.position = target;
  return 0;
}

int ZCALLBACK Close(voidpf, voidpf stream) {
  std::unique_ptr<ZipStream> owned(&Stream(stream));
  return owned->Close() ? 0 : -1;
}

int ZCALLBACK Error(voidpf, voidpf stream) { return Stream(stream).failed() ? 1 : 0; }

}  // namespace

zlib_filefunc64_def ZipLayerWin32::functions() {
  return ZipFunctionTable(Open, Read, Write, Tell, Seek, Close, Error, this);
}

}  // namespace engine
