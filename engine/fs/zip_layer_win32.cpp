#include "engine/fs/zip_layer_win32.h"

#include <memory>
#include <new>
#include <utility>

#include "base/unique_handle_win32.h"

#include "engine/fs/path_beneath_win32.h"
#include "engine/fs/zip_function_table.h"

namespace engine {
namespace {

// One open archive: its handle, closed with it, whether a read or a write
// has failed, and the folders on the way to it, held while it is open.
class ZipStream {
 public:
  ZipStream(FoldersOnTheWay way, base::UniqueHandle handle)
      : way_(std::move(way)), handle_(std::move(handle)) {}

  HANDLE handle() const { return handle_.get(); }
  bool failed() const { return failed_; }
  void Fail() { failed_ = true; }
  // Closes the handle now, so that the caller sees whether that worked.
  bool Close() { return CloseHandle(handle_.release()) != 0; }

 private:
  FoldersOnTheWay way_;
  base::UniqueHandle handle_;
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
  // Without memory the handle and the folders close with their owners.
  return new (std::nothrow) ZipStream(std::move(way), std::move(handle));
}

// uLong is 32 bits on Windows, as are ReadFile's and WriteFile's counts.
uLong ZCALLBACK Read(voidpf, voidpf stream, void* buffer, uLong size) {
  DWORD count = 0;
  if (!ReadFile(Stream(stream).handle(), buffer, size, &count, nullptr)) Stream(stream).Fail();
  return count;
}

uLong ZCALLBACK Write(voidpf, voidpf stream, const void* buffer, uLong size) {
  DWORD count = 0;
  if (!WriteFile(Stream(stream).handle(), buffer, size, &count, nullptr) || count != size) {
    Stream(stream).Fail();
  }
  return count;
}

ZPOS64_T ZCALLBACK Tell(voidpf, voidpf stream) {
  LARGE_INTEGER position;
  if (!SetFilePointerEx(Stream(stream).handle(), LARGE_INTEGER{}, &position, FILE_CURRENT)) {
    return static_cast<ZPOS64_T>(-1);
  }
  return static_cast<ZPOS64_T>(position.QuadPart);
}

long ZCALLBACK Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  DWORD method;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      method = FILE_BEGIN;
      break;
    case ZLIB_FILEFUNC_SEEK_CUR:
      method = FILE_CURRENT;
      break;
    case ZLIB_FILEFUNC_SEEK_END:
      method = FILE_END;
      break;
    default:
      return -1;
  }
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(Stream(stream).handle(), distance, nullptr, method) ? 0 : -1;
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
