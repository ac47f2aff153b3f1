#!/bin/sh
# Makes a ready Windows installer from a payload, on this Linux machine:
#
#   scripts/make-windows-installer.sh PAYLOAD OUTPUT.exe
#
# PAYLOAD is a payload file as `patchpack build` writes it. OUTPUT.exe is the
# installer stub with PAYLOAD linked in as resource "PATCHDATA" 101. The
# Windows libraries and the stub are built first if needed (in build/windows,
# the "windows" preset's directory), so the first run takes a few minutes.
set -eu

if [ $# -ne 2 ]; then
  echo "usage: $0 PAYLOAD OUTPUT.exe" >&2
  exit 2
fi
if [ ! -f "$1" ]; then
  echo "$0: no payload file $1" >&2
  exit 1
fi
# Both paths are the caller's, before the change of directory.
payload=$(realpath "$1")
output=$(realpath -m "$2")

cd "$(dirname "$0")/.."
./scripts/build-windows-deps.sh >/dev/null
cmake --preset windows -DPI_PAYLOAD="$payload" >/dev/null
cmake --build --preset windows -j2 --target patch-installer patch-installer-with-payload \
  >/dev/null
cp build/windows/resources/patch-installer-with-payload.exe "$output"
echo "$output"
