#!/bin/sh
# Cross-builds the third-party libraries of the Windows installer (zlib,
# minizip with its Win32 file layer, liblzma) as static libraries for
# x86_64-w64-mingw32, from Debian's own source packages, into .deps/windows.
# The toolchain file cmake/mingw-w64-x86_64.cmake searches that prefix.
#
# The package sources come from this machine's apt configuration: a deb-src
# twin of each deb entry is written at run time, so the repository holds no
# mirror address. Each library is built once; a second run only checks.
# Needs root for apt (scripts/install-deps.sh installs the toolchain).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
prefix="$root/.deps/windows"
sources="$root/.deps/src"
host=x86_64-w64-mingw32
jobs=2

mkdir -p "$prefix/include/minizip" "$prefix/lib/pkgconfig" "$sources"

# apt-get source needs deb-src entries; derive them from the deb ones.
ensure_deb_src() {
  src_list=/etc/apt/sources.list.d/windows-deps-src.sources
  if [ -f "$src_list" ] || grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ ||
    grep -qs '^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list; then
    return
  fi
  found=""
  for list in /etc/apt/sources.list.d/*.sources; do
    [ -f "$list" ] || continue
    grep -q '^Types:.*\bdeb\b' "$list" || continue
    sed 's/^Types:.*/Types: deb-src/' "$list" >>"$src_list.tmp"
    printf '\n' >>"$src_list.tmp"
    found=yes
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list >"${src_list%.sources}.list"
    [ -s "${src_list%.sources}.list" ] && found=yes
  fi
  if [ -z "$found" ]; then
    echo "no apt source entries to derive deb-src from" >&2
    exit 1
  fi
  [ -f "$src_list.tmp" ] && mv "$src_list.tmp" "$src_list"
  apt-get update -qq
}

# Prints the directory of the unpacked source package $1, fetching it if needed.
source_dir() {
  dir=$(find "$sources" -maxdepth 1 -type d -name "$1-*" | sort | tail -n 1)
  if [ -z "$dir" ]; then
    ensure_deb_src
    # A mirror may lack one of the versions it lists (say, the security
    # update's source); then fall back to the others, newest first.
    if ! (cd "$sources" && apt-get source -qq "$1" >&2); then
      for version in $(apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -urV); do
        (cd "$sources" && apt-get source -qq "$1=$version" >&2) && break
      done
    fi
    dir=$(find "$sources" -maxdepth 1 -type d -name "$1-*" | sort | tail -n 1)
  fi
  echo "$dir"
}

build_zlib() {
  [ -f "$prefix/lib/libz.a" ] && [ -f "$prefix/lib/libminizip.a" ] && return
  zlib=$(source_dir zlib)
  echo "building zlib and minizip in $zlib"
  # Debian's repacked source has no win32 makefile; the library is just
  # its C files, so compile them directly.
  objects="$sources/objects/zlib"
  rm -rf "$objects" && mkdir -p "$objects"
  for unit in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback \
    inffast inflate inftrees trees uncompr zutil; do
    "$host-gcc" -O2 -I"$zlib" -c "$zlib/$unit.c" -o "$objects/$unit.o"
  done
  rm -f "$prefix/lib/libz.a"
  "$host-ar" rcs "$prefix/lib/libz.a" "$objects"/*.o
  cp "$zlib/zlib.h" "$zlib/zconf.h" "$prefix/include/"

  # minizip: the zip and unzip layers with both file layers (stdio and Win32).
  minizip="$zlib/contrib/minizip"
  objects="$sources/objects/minizip"
  rm -rf "$objects" && mkdir -p "$objects"
  for unit in ioapi iowin32 zip unzip; do
    "$host-gcc" -O2 -DNOCRYPT -I"$prefix/include" -c "$minizip/$unit.c" -o "$objects/$unit.o"
  done
  rm -f "$prefix/lib/libminizip.a"
  "$host-ar" rcs "$prefix/lib/libminizip.a" "$objects"/*.o
  cp "$minizip/ioapi.h" "$minizip/iowin32.h" "$minizip/zip.h" "$minizip/unzip.h" \
    "$minizip/crypt.h" "$prefix/include/minizip/"
}

build_lzma() {
  [ -f "$prefix/lib/liblzma.a" ] && return
  xz=$(source_dir xz-utils)
  echo "building liblzma in $xz"
  build="$sources/xz-build"
  rm -rf "$build" && mkdir -p "$build"
  # Only the library: no tools, no translations, no documentation.
  if ! (cd "$build" && "$xz/configure" --host="$host" --prefix="$prefix" \
    --enable-static --disable-shared --disable-xz --disable-xzdec --disable-lzmadec \
    --disable-lzmainfo --disable-lzma-links --disable-scripts --disable-doc --disable-nls \
    CFLAGS="-O2") >"$build/configure.log" 2>&1; then
    tail -n 40 "$build/configure.log" >&2
    exit 1
  fi
  if ! make -C "$build/src/liblzma" -j"$jobs" install >"$build/make.log" 2>&1; then
    tail -n 40 "$build/make.log" >&2
    exit 1
  fi
  # Its version-information resource must not end up in our executables.
  "$host-ar" d "$prefix/lib/liblzma.a" liblzma_w32res.o
  rm -rf "$build"
}

# The .pc files are rewritten on every run: cheap, and they then always
# match this script.
write_pkg_config() {
  version=$(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' "$prefix/include/zlib.h")
  cat >"$prefix/lib/pkgconfig/zlib.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: zlib
Description: zlib compression library (static, mingw-w64)
Version: $version
Libs: -L\${libdir} -lz
Cflags: -I\${includedir}
PC
  # Both include forms work: <minizip/zip.h> and <zip.h>, as with Debian's package.
  cat >"$prefix/lib/pkgconfig/minizip.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: minizip
Description: zip and unzip over zlib, with the Win32 file layer (static, mingw-w64)
Version: $version
Libs: -L\${libdir} -lminizip -lz
Cflags: -I\${includedir} -I\${includedir}/minizip
PC
  version=$(sed -n 's/^#define LZMA_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)$/\2/p' \
    "$prefix/include/lzma/version.h" | paste -sd.)
  # LZMA_API_STATIC: the declarations of a static library must not carry
  # dllimport.
  cat >"$prefix/lib/pkgconfig/liblzma.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: liblzma
Description: LZMA decoding and encoding (static, mingw-w64)
Version: $version
Libs: -L\${libdir} -llzma
Cflags: -I\${includedir} -DLZMA_API_STATIC
PC
}

build_zlib
build_lzma
write_pkg_config
echo "Windows libraries installed in $prefix"
