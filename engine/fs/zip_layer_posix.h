// The minizip file layer of the POSIX file system, over file descriptors.
// Archives are opened by stream path, found beneath the game folder through
// no link as the file system finds every other path (path_beneath_posix.h);
// a new archive is created by the function that creates every staged file,
// of our own and never through a link, and is written on
// a thread of its own (write_behind.h); the write-gathering layer above
// gathers minizip's small writes into large ones. The device is asked to
// start on each large piece as soon as it is written.
//
// A failed read or write sets the stream's error flag, which the error
// callback returns; a failed seek or tell reports by its result. The layer
// must outlive every file opened through it.
#pragma once

#include <minizip/ioapi.h>

namespace engine {

class ZipLayerPosix {
 public:
  ZipLayerPosix() = default;
  ZipLayerPosix(const ZipLayerPosix&) = delete;
  ZipLayerPosix& operator=(const ZipLayerPosix&) = delete;

  // The table to open files through; its opaque pointer is this layer.
  zlib_filefunc64_def functions();
};

}  // namespace engine
