// The minizip file layer of the POSIX file system, over file descriptors.
// Archives are opened by stream path, resolved as the file system resolves
// every other path; a new archive is created by the function that creates
// every staged file, of our own and never through a link, and is written on
// a thread of its own (write_behind_posix.h); the write-gathering layer above
// gathers minizip's small writes into large ones. The device is asked to
// start on each large piece as soon as it is written.
//
// A failed read or write sets the stream's error flag, which the error
// callback returns; a failed seek or tell reports by its result. The layer
// must outlive every file opened through it.
#pragma once

#include <minizip/ioapi.h>

#include <string>

namespace engine {

class ZipLayerPosix {
 public:
  // Maps a stream path onto the disk.
  using Resolve = std::string (*)(const std::string& stream_path);
  // Creates a new file of our own at a resolved path, open for writing; its
  // descriptor, or -1.
  using CreateOwnFile = int (*)(const std::string& resolved);

  ZipLayerPosix(Resolve resolve, CreateOwnFile create_own_file)
      : resolve_(resolve), create_own_file_(create_own_file) {}
  ZipLayerPosix(const ZipLayerPosix&) = delete;
  ZipLayerPosix& operator=(const ZipLayerPosix&) = delete;

  // The table to open files through; its opaque pointer is this layer.
  zlib_filefunc64_def functions();
  Resolve resolve() const { return resolve_; }
  CreateOwnFile create_own_file() const { return create_own_file_; }

 private:
  Resolve resolve_;
  CreateOwnFile create_own_file_;
};

}  // namespace engine
