# zlib, minizip and liblzma. On Linux they come from Debian's -dev packages;
# for the Windows build scripts/build-windows-deps.sh cross-builds the same
# sources into a prefix that the toolchain file puts on the search path.
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
pkg_check_modules(LZMA REQUIRED IMPORTED_TARGET liblzma)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
