#!/bin/sh
# Builds everything and runs every test: the sanitizer build's unit and
# end-to-end tests, then the Windows cross-build and its tests.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/check-layers.sh
cmake --preset test
cmake --build --preset test -j"$(nproc)"
ctest --preset test -j"$(nproc)"
./scripts/test-windows.sh
