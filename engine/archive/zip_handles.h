// Owners of minizip's archive handles, so that every way out of a merge closes
// both archives before the run's clean-up removes the staged one.
#pragma once

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <memory>
#include <type_traits>

namespace engine {

struct UnzipCloser {
  // The result is of no use: the old archive was only read.
  void operator()(unzFile file) const { unzClose(file); }
};

struct ZipCloser {
  // Reached only on a failure or a cancel, where the staged archive is about
  // to be removed; the successful close is made and checked by its owner.
  void operator()(zipFile file) const { zipClose(file, nullptr); }
};

using UnzipHandle = std::unique_ptr<std::remove_pointer_t<unzFile>, UnzipCloser>;
using ZipHandle = std::unique_ptr<std::remove_pointer_t<zipFile>, ZipCloser>;

}  // namespace engine
