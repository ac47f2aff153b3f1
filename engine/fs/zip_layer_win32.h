// The minizip file layer of the Windows file system, over Win32 handles. It
// opens archives as minizip's own Win32 layer does (read shared with other
// readers, an existing file for update or a new one not shared), except that
// a new archive is created by the function the file system hands it, the one
// that creates every staged file: minizip's layer creates with
// CREATE_ALWAYS, which writes through a link planted at the name. The
// folders on the way to an archive are walked and held as for every other
// call of the file system (path_beneath_win32.h) while the archive is open.
// A new archive is written on a thread of its own (write_behind.h), as on
// POSIX; reads and writes go to positions the stream keeps, so that the
// thread's writes and the file pointer never meet.
//
// A failed read or write sets the stream's error flag, which the error
// callback returns; a failed seek or tell reports by its result. Offsets are
// 64-bit throughout. The layer must outlive every file opened through it.
#pragma once

#include <windows.h>
// After <windows.h>, whose types it uses.
#include <minizip/ioapi.h>

namespace engine {

class ZipLayerWin32 {
 public:
  // Creates a new file of our own at the path with the given access and
  // sharing; INVALID_HANDLE_VALUE on failure.
  using CreateOwnFile = HANDLE (*)(const char* path, DWORD access, DWORD share);

  explicit ZipLayerWin32(CreateOwnFile create_own_file) : create_own_file_(create_own_file) {}
  ZipLayerWin32(const ZipLayerWin32&) = delete;
  ZipLayerWin32& operator=(const ZipLayerWin32&) = delete;

  // The table to open files through; its opaque pointer is this layer.
  zlib_filefunc64_def functions();
  CreateOwnFile create_own_file() const { return create_own_file_; }

 private:
  CreateOwnFile create_own_file_;
};

}  // namespace engine
