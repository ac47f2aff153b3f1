#!/bin/sh
# Line coverage of the project's own code reached by the fuzz corpora: builds
# the fuzz targets instrumented for coverage (build/fuzz-coverage), replays
# each over its corpus and seeds from build/fuzz (run scripts/fuzz.sh first),
# and prints one total line per folder of the project, one for the whole
# engine with its subfolders, then the whole. FUZZ_COVERAGE_FILES="a.cpp b.cpp"
# adds a line for each file named (paths from the top of the project).
set -eu
cd "$(dirname "$0")/.."

targets="payload_fuzz patch_stream_fuzz run_fuzz leftover_journal_fuzz archive_merge_fuzz
  version_record_fuzz message_table_fuzz zip_reader_fuzz pe_signature_fuzz"
out=build/fuzz-coverage
cmake --preset fuzz-coverage >/dev/null
cmake --build --preset fuzz-coverage --target fuzz_targets -j"$(nproc)" >/dev/null

rm -rf "$out/profiles"
mkdir -p "$out/profiles"
# llvm-cov takes the first program as its argument and the others as objects.
objects=""
for target in $targets; do
  LLVM_PROFILE_FILE="$out/profiles/$target.profraw" "$out/fuzz/$target" -runs=0 \
    build/fuzz/corpus/"$target" build/fuzz/seeds/"$target" >/dev/null 2>&1
  if [ -z "$objects" ]; then
    objects="$out/fuzz/$target"
  else
    objects="$objects -object=$out/fuzz/$target"
  fi
done
llvm-profdata merge -sparse "$out"/profiles/*.profraw -o "$out/fuzz.profdata"

report() {
  # shellcheck disable=SC2086
  llvm-cov report -instr-profile="$out/fuzz.profdata" $objects "$@" | tail -n 1
}
for folder in payload messages engine engine/archive engine/fs tools/patchpack; do
  files=$(find "$PWD/$folder" -maxdepth 1 -name '*.cpp' ! -name '*win32*' | sort)
  # shellcheck disable=SC2086
  printf '%-16s %s\n' "$folder" "$(report $files)"
done
engine=$(find "$PWD/engine" -name '*.cpp' ! -name '*win32*' | sort)
# shellcheck disable=SC2086
printf '%-16s %s\n' "engine/ (all)" "$(report $engine)"
for file in ${FUZZ_COVERAGE_FILES:-}; do
  printf '%-16s %s\n' "$(basename "$file")" "$(report "$PWD/$file")"
done
all=$(find "$PWD/payload" "$PWD/messages" "$PWD/engine" "$PWD/tools/patchpack" -name '*.cpp' \
  ! -name '*win32*' | sort)
# shellcheck disable=SC2086
printf '%-16s %s\n' "all" "$(report $all)"
