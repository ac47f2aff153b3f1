#include "engine/fs/checked_file_system.h"

namespace engine {

// A short read is how the end of a file shows, so reads pass unchecked:
// only the stream's own error indicator tells a failed read, and minizip
// asks for it.

uLong CheckedFileSystem::ZipWrite(voidpf stream, const void* buffer, uLong size) {
  const uLong written = ForwardingFileSystem::ZipWrite(stream, buffer, size);
  if (written != size) failed_streams_.insert(stream);
  return written;
}

ZPOS64_T CheckedFileSystem::ZipTell(voidpf stream) {
  const ZPOS64_T position = ForwardingFileSystem::ZipTell(stream);
  if (position == static_cast<ZPOS64_T>(-1)) failed_streams_.insert(stream);
  return position;
}

long CheckedFileSystem::ZipSeek(voidpf stream, ZPOS64_T offset, int origin) {
  const long result = ForwardingFileSystem::ZipSeek(stream, offset, origin);
  if (result != 0) failed_streams_.insert(stream);
  return result;
}

int CheckedFileSystem::ZipClose(voidpf stream) {
  const bool failed = failed_streams_.erase(stream) > 0;
  const int result = ForwardingFileSystem::ZipClose(stream);
  return failed ? -1 : result;
}

int CheckedFileSystem::ZipError(voidpf stream) {
  if (failed_streams_.contains(stream)) return 1;
  return ForwardingFileSystem::ZipError(stream);
}

}  // namespace engine
