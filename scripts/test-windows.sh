#!/bin/sh
# The Windows tests: cross-builds the installer stub, makes installers of it
# with patchpack attach, checks what the executables carry, and runs the engine's
# Win32 file system and payload lookup under Wine. scripts/test.sh
# runs this after the Linux tests; it also runs on its own.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/build-windows-deps.sh
cmake --preset windows
cmake --build --preset windows -j2

out=build/windows/test
mkdir -p "$out"
stub=build/windows/shell/win32/patch-installer.exe

# Payloads come from the Linux patchpack, which scripts/test.sh has built
# already.
patchpack=build/test/tools/patchpack/patchpack
if [ ! -x "$patchpack" ]; then
  cmake --preset test >/dev/null
  cmake --build --preset test -j2 --target patchpack
fi

# Resources: an installer made by patchpack attach, read back by a checker of
# its own; the payload is big enough to move the sections after the resources.
mkdir -p "$out/resource-check/files"
echo 14 >"$out/resource-check/version.txt"
python3 -c 'import random, sys; r = random.Random(1049); sys.stdout.buffer.write(r.randbytes(300000))' \
  >"$out/resource-check/files/noise.bin"
"$patchpack" build "$out/resource-check" -o "$out/resource-check.payload" >/dev/null
rm -f "$out/resource-check.exe"
"$patchpack" attach "$stub" "$out/resource-check.payload" -o "$out/resource-check.exe" >/dev/null
python3 tests/win32/check_resources.py --messages resources/messages.txt "$stub" \
  --installer "$out/resource-check.exe" --payload "$out/resource-check.payload"
python3 tests/win32/check_resources_test.py "$stub" "$out/resource-check.exe" \
  "$out/resource-check.payload" resources/messages.txt
python3 tests/win32/attach_test.py "$patchpack" "$stub" resources/messages.txt \
  build/windows/tests/win32/driver.exe

# The engine's Win32 seams, under Wine in a folder of their own that holds
# only "unixlink", a Unix symbolic link to a sentinel folder beside it, which
# no call through the link may change.
seams_test="$(pwd)/build/windows/tests/win32/win32_seams_test.exe"
rm -rf "$out/seams" "$out/seams-sentinel" && mkdir -p "$out/seams" "$out/seams-sentinel"
printf sentinel >"$out/seams-sentinel/keep.txt"
ln -s ../seams-sentinel "$out/seams/unixlink"
wine_prefix="$(pwd)/$out/wine-seams"
(cd "$out/seams" &&
  WINEPREFIX="$wine_prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    wine "$seams_test")
if [ "$(ls -A "$out/seams-sentinel")" != keep.txt ] ||
  [ "$(cat "$out/seams-sentinel/keep.txt")" != sentinel ]; then
  echo "FAIL: the folder behind the Unix symbolic link changed" >&2
  exit 1
fi

# The installer as a user meets it: real installers, made by patchpack
# attach, run under Wine on a private X display, driven through their dialogs
# by tests/win32/driver.cpp, with every game folder checked on disk afterwards.
python3 tests/win32/run_wine_tests.py --stub "$stub" --patchpack "$patchpack" \
  --driver build/windows/tests/win32/driver.exe \
  --work build/wine-tests

echo "stub: $(wc -c <"$stub") bytes"
