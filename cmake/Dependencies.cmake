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
  # at the archives beside them. Each archive is a static imported library
  # that names what it needs in turn, so that the linker meets minizip before
  # zlib, whatever order the targets list them in.
  find_library(LZMA_ARCHIVE NAMES liblzma.a HINTS ${LZMA_LIBRARY_DIRS} REQUIRED)
  find_library(MINIZIP_ARCHIVE NAMES libminizip.a HINTS ${MINIZIP_LIBRARY_DIRS} REQUIRED)
  find_package(Threads REQUIRED)
  add_library(lzma_archive STATIC IMPORTED)
  set_target_properties(lzma_archive PROPERTIES
    IMPORTED_LOCATION "${LZMA_ARCHIVE}" INTERFACE_LINK_LIBRARIES Threads::Threads)
  add_library(minizip_archive STATIC IMPORTED)
  set_target_properties(minizip_archive PROPERTIES
    IMPORTED_LOCATION "${MINIZIP_ARCHIVE}" INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
  set_target_properties(PkgConfig::LZMA PROPERTIES INTERFACE_LINK_LIBRARIES lzma_archive)
  set_target_properties(PkgConfig::MINIZIP PROPERTIES INTERFACE_LINK_LIBRARIES minizip_archive)
endif()
