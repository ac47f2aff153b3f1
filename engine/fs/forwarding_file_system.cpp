#include "engine/fs/forwarding_file_system.h"

#include "engine/fs/zip_function_table.h"

namespace engine {

// The C callbacks, friends of the class through this nested type so that
// they may call its protected members.
struct ForwardingFileSystem::Callbacks {
  static ForwardingFileSystem& Owner(voidpf opaque) {
    return *static_cast<ForwardingFileSystem*>(opaque);
  }
  static voidpf ZCALLBACK Open(voidpf opaque, const void* filename, int mode) {
    return Owner(opaque).ZipOpen(static_cast<const char*>(filename), mode);
  }
  static uLong ZCALLBACK Read(voidpf opaque, voidpf stream, void* buffer, uLong size) {
    return Owner(opaque).ZipRead(stream, buffer, size);
  }
  static uLong ZCALLBACK Write(voidpf opaque, voidpf stream, const void* buffer, uLong size) {
    return Owner(opaque).ZipWrite(stream, buffer, size);
  }
  static ZPOS64_T ZCALLBACK Tell(voidpf opaque, voidpf stream) {
    return Owner(opaque).ZipTell(stream);
  }
  static long ZCALLBACK Seek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
    return Owner(opaque).ZipSeek(stream, offset, origin);
  }
  static int ZCALLBACK Close(voidpf opaque, voidpf stream) {
    return Owner(opaque).ZipClose(stream);
  }
  static int ZCALLBACK Error(voidpf opaque, voidpf stream) {
    return Owner(opaque).ZipError(stream);
  }
};

zlib_filefunc64_def ForwardingFileSystem::ZipFileFunctions() {
  base_zip_functions_ = base_.ZipFileFunctions();
  return ZipFunctionTable(Callbacks::Open, Callbacks::Read, Callbacks::Write, Callbacks::Tell,
                          Callbacks::Seek, Callbacks::Close, Callbacks::Error, this);
}

voidpf ForwardingFileSystem::ZipOpen(const char* name, int mode) {
  return base_zip_functions_.zopen64_file(base_zip_functions_.opaque, name, mode);
}

uLong ForwardingFileSystem::ZipRead(voidpf stream, void* buffer, uLong size) {
  return base_zip_functions_.zread_file(base_zip_functions_.opaque, stream, buffer, size);
}

uLong ForwardingFileSystem::ZipWrite(voidpf stream, const void* buffer, uLong size) {
  return base_zip_functions_.zwrite_file(base_zip_functions_.opaque, stream, buffer, size);
}

ZPOS64_T ForwardingFileSystem::ZipTell(voidpf stream) {
  return base_zip_functions_.ztell64_file(base_zip_functions_.opaque, stream);
}

long ForwardingFileSystem::ZipSeek(voidpf stream, ZPOS64_T offset, int origin) {
  return base_zip_functions_.zseek64_file(base_zip_functions_.opaque, stream, offset, origin);
}

int ForwardingFileSystem::ZipClose(voidpf stream) {
  return base_zip_functions_.zclose_file(base_zip_functions_.opaque, stream);
}

int ForwardingFileSystem::ZipError(voidpf stream) {
  return base_zip_functions_.zerror_file(base_zip_functions_.opaque, stream);
}

}  // namespace engine
