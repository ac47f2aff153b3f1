#!/bin/sh
# Builds what a patch author ships with, in one folder, build/release/bin:
#
#   patchpack            the authoring tool (Linux)
#   patch-installer      the console installer stub (Linux), which needs only
#                        the C library and the loader on a player's machine
#   patch-installer.exe  the Windows installer stub, cross-built with mingw-w64
#
# `patchpack attach` makes an installer of either stub. The Windows libraries
# are built first if missing (scripts/build-windows-deps.sh), so the first run
# takes a few minutes, later ones seconds.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target patchpack patch-installer
./scripts/build-windows-deps.sh >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target patch-installer

bin=build/release/bin
mkdir -p "$bin"
cp build/release/tools/patchpack/patchpack build/release/shell/console/patch-installer \
  build/windows/shell/win32/patch-installer.exe "$bin/"
ls -l "$bin"

# The console stub a player runs needs nothing but the C library and the
# loader; an installer made of it must install in a root holding only those.
# Exit status 77: the install in the root was skipped (unshare needs root).
status=0
python3 tests/shell/self_contained_installer_test.py --patchpack "$bin/patchpack" \
  --stub "$bin/patch-installer" || status=$?
[ "$status" -eq 0 ] || [ "$status" -eq 77 ]
