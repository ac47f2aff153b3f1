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

# One row per source file; the names are as the compiler was given them,
# absolute or (through ccache's base directory) relative, so each is cut to
# its path from the top of the project before it is matched.
# shellcheck disable=SC2086
llvm-cov report -instr-profile="$out/fuzz.profdata" $objects 2>/dev/null |
  awk -v top="$PWD/" 'NF == 13 && $1 ~ /\.(cpp|h)$/ {
    name = $1
    if (index(name, top) == 1) name = substr(name, length(top) + 1)
    while (name ~ /^\.\.\//) name = substr(name, 4)
    print name, $8, $9
  }' >"$out/files.txt"

# Line coverage of the files whose path matches the pattern.
report() {
  awk -v pattern="$1" '$1 ~ pattern && $1 !~ /win32/ { lines += $2; missed += $3 }
    END { printf "%6d lines, %5d missed: %6.2f%%\n", lines, missed,
          lines ? 100 * (lines - missed) / lines : 0 }' "$out/files.txt"
}
for folder in payload messages engine engine/archive engine/fs; do
  printf '%-26s %s\n' "$folder" "$(report "^$folder/[^/]*[.]cpp$")"
done
printf '%-26s %s\n' "tools/patchpack (all)" "$(report '^tools/patchpack/.*[.]cpp$')"
printf '%-26s %s\n' "engine/ (all)" "$(report '^engine/.*[.]cpp$')"
printf '%-26s %s\n' "all" "$(report '^(payload|messages|engine|tools/patchpack)/.*[.]cpp$')"
for file in ${FUZZ_COVERAGE_FILES:-}; do
  printf '%-26s %s\n' "$file" "$(report "^$file$")"
done
