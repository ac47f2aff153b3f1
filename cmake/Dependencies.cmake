# zlib, minizip and liblzma. On Linux they come from Debian's -dev packages;
# for the Windows build scripts/build-windows-deps.sh cross-builds the same
# sources into a prefix that the toolchain file puts on the search path.
#
# The console installer is handed to players whose machines hold none of
# these libraries: on Linux every program here takes their static archives,
# so that what the installer needs beyond the C library is inside it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LZMA REQUIRED IMPORTED_TARGET liblzma)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)

if(WIN32)
  find_package(ZLIB REQUIRED)
else()
  find_library(ZLIB_ARCHIVE NAMES libz.a REQUIRED)
  find_path(ZLIB_HEADERS zlib.h REQUIRED)
  add_library(ZLIB::ZLIB STATIC IMPORTED)
  set_target_properties(ZLIB::ZLIB PROPERTIES
    IMPORTED_LOCATION "${ZLIB_ARCHIVE}" INTERFACE_INCLUDE_DIRECTORIES "${ZLIB_HEADERS}")
  # pkg-config names the shared libraries; the imported targets are pointed
  # at the archives beside them, with what the archives need in turn.
  find_library(LZMA_ARCHIVE NAMES liblzma.a HINTS ${LZMA_LIBRARY_DIRS} REQUIRED)
  find_library(MINIZIP_ARCHIVE NAMES libminizip.a HINTS ${MINIZIP_LIBRARY_DIRS} REQUIRED)
  find_package(Threads REQUIRED)
  set_target_properties(PkgConfig::LZMA PROPERTIES
    INTERFACE_LINK_LIBRARIES "${LZMA_ARCHIVE};Threads::Threads")
  set_target_properties(PkgConfig::MINIZIP PROPERTIES
    INTERFACE_LINK_LIBRARIES "${MINIZIP_ARCHIVE};ZLIB::ZLIB")
endif()
