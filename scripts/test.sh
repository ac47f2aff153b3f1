#!/bin/sh
# Builds everything and runs every test: the sanitizer build's unit and
# end-to-end tests, a short run of every fuzz target, then the Windows
# cross-build and its tests.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/check-layers.sh
cmake --preset test
cmake --build --preset test -j"$(nproc)"
ctest --preset test -j"$(nproc)"
./scripts/fuzz.sh "${PI_FUZZ_SECONDS:-15}"
./scripts/test-windows.sh
