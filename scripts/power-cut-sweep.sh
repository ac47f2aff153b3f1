#!/bin/sh
# A longer power-cut sweep than CI's: the power-cut test with many more
# random settlements of each cut (default 200) besides keeping nothing and
# keeping everything.
#   ./scripts/power-cut-sweep.sh [RANDOM_SAMPLES_PER_INSTANT]
set -eu
cd "$(dirname "$0")/.."
cmake --preset test >/dev/null
cmake --build --preset test --target engine_test -j2
PI_POWER_CUT_SAMPLES="${1:-200}" ./build/test/tests/engine/engine_test --gtest_filter='PowerCutTest.*'
