#!/bin/sh
# Builds everything and shows the installer at work on a sample game folder.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j"$(nproc)"
echo "demo: the sample patch arrives with patchpack"
