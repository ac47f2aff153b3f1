#include "engine/checked_file_system.h"

namespace engine {
namespace {

CheckedFileSystem& Owner(voidpf opaque) { return *static_cast<CheckedFileSystem*>(opaque); }

const zlib_filefunc64_def& Base(voidpf opaque) { return Owner(opaque).base_zip_functions(); }

void MarkFailed(voidpf opaque, voidpf stream) { Owner(opaque).failed_streams().insert(stream); }

voidpf ZCALLBACK Open(voidpf opaque, const void* filename, int mode) {
  return Base(opaque).zopen64_file(Base(opaque).opaque, filename, mode);
}

uLong ZCALLBACK Read(voidpf opaque, voidpf stream, void* buffer, uLong size) {
  // A short read is how the end of a file shows, so only the stream's own
  // error indicator tells a failed read; minizip asks for it.
  return Base(opaque).zread_file(Base(opaque).opaque, stream, buffer, size);
}

uLong ZCALLBACK Write(voidpf opaque, voidpf stream, const void* buffer, uLong size) {
  const uLong written = Base(opaque).zwrite_file(Base(opaque).opaque, stream, buffer, size);
  if (written != size) MarkFailed(opaque, stream);
  return written;
}

ZPOS64_T ZCALLBACK Tell(voidpf opaque, voidpf stream) {
  const ZPOS64_T position = Base(opaque).ztell64_file(Base(opaque).opaque, stream);
  if (position == static_cast<ZPOS64_T>(-1)) MarkFailed(opaque, stream);
  return position;
}

long ZCALLBACK Seek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
  const long result = Base(opaque).zseek64_file(Base(opaque).opaque, stream, offset, origin);
  if (result != 0) MarkFailed(opaque, stream);
  return result;
}

int ZCALLBACK Close(voidpf opaque, voidpf stream) {
  const bool failed = Owner(opaque).failed_streams().erase(stream) > 0;
  const int result = Base(opaque).zclose_file(Base(opaque).opaque, stream);
  return failed ? -1 : result;
}

int ZCALLBACK Error(voidpf opaque, voidpf stream) {
  if (Owner(opaque).failed_streams().contains(stream)) return 1;
  return Base(opaque).zerror_file(Base(opaque).opaque, stream);
}

}  // namespace

zlib_filefunc64_def CheckedFileSystem::ZipFileFunctions() {
  base_zip_functions_ = base_.ZipFileFunctions();
  zlib_filefunc64_def functions{};
  functions.zopen64_file = Open;
  functions.zread_file = Read;
  functions.zwrite_file = Write;
  functions.ztell64_file = Tell;
  functions.zseek64_file = Seek;
  functions.zclose_file = Close;
  functions.zerror_file = Error;
  functions.opaque = this;
  return functions;
}

}  // namespace engine
