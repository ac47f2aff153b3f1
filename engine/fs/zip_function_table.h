// The table through which minizip calls a file layer: the layer's seven
// calls, and the opaque pointer that minizip hands back to each of them.
#pragma once

#include <minizip/ioapi.h>

namespace engine {

inline zlib_filefunc64_def ZipFunctionTable(open64_file_func open, read_file_func read,
                                            write_file_func write, tell64_file_func tell,
                                            seek64_file_func seek, close_file_func close,
                                            testerror_file_func error, voidpf opaque) {
  zlib_filefunc64_def functions{};
  functions.zopen64_file = open;
  functions.zread_file = read;
  functions.zwrite_file = write;
  functions.ztell64_file = tell;
  functions.zseek64_file = seek;
  functions.zclose_file = close;
  functions.zerror_file = error;
  functions.opaque = opaque;
  return functions;
}

}  // namespace engine
