#!/bin/sh
# The Windows tests: cross-builds the installer stub and an installer made
# from a payload, then checks what the executables carry. scripts/test.sh
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

# Resources: any bytes will do as a payload here, as long as they come back.
python3 -c 'import random, sys; r = random.Random(1049); sys.stdout.buffer.write(bytes(r.randrange(256) for _ in range(4099)))' \
  >"$out/resource-check.payload"
./scripts/make-windows-installer.sh "$out/resource-check.payload" "$out/resource-check.exe" >/dev/null
python3 tests/win32/check_resources.py --messages resources/messages.txt "$stub" \
  --installer "$out/resource-check.exe" --payload "$out/resource-check.payload"
python3 tests/win32/check_resources_test.py "$stub" "$out/resource-check.exe" \
  "$out/resource-check.payload" resources/messages.txt
echo "stub: $(wc -c <"$stub") bytes"
