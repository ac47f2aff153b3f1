#!/bin/sh
# A longer crash campaign than CI's: the crash-consistency test with many
# more timed kills (default 1000) besides one before every counted call.
#   ./scripts/crash-campaign.sh [TIMED_POINTS]
set -eu
cd "$(dirname "$0")/.."
cmake --preset test >/dev/null
cmake --build --preset test --target crash_consistency_test -j2
PI_CRASH_TIMED_POINTS="${1:-1000}" ./build/test/tests/shell/crash_consistency_test
