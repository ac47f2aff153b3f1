#!/bin/sh
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer, UBSan) and runs
# every fuzz target for SECONDS each (default 600), one after the other, from
# its seeds. The corpora grow under build/fuzz/corpus/<target> and are kept
# for the next run; a crash, leak, hang or property violation stops the script
# with the input written to build/fuzz/findings/.
#
#   scripts/fuzz.sh [SECONDS]        every target
#   FUZZ_TARGETS="run_fuzz" scripts/fuzz.sh 60   a chosen few
#   FUZZ_JOBS=2 scripts/fuzz.sh      two targets at a time
set -eu
cd "$(dirname "$0")/.."

seconds="${1:-600}"
targets="${FUZZ_TARGETS:-payload_fuzz patch_stream_fuzz run_fuzz leftover_journal_fuzz
  archive_merge_fuzz version_record_fuzz message_table_fuzz zip_reader_fuzz pe_signature_fuzz}"
jobs="${FUZZ_JOBS:-1}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_targets -j"$(nproc)"

out=build/fuzz
rm -rf "$out/seeds"
"$out/fuzz/make_fuzz_seeds" "$out/seeds" resources/messages.txt
mkdir -p "$out/findings" "$out/logs"

run_one() {
  target="$1"
  mkdir -p "$out/corpus/$target"
  # Corpus first: new inputs go to the first folder; the seeds are read only.
  if "$out/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$out/findings/$target-" \
      "$out/corpus/$target" "$out/seeds/$target" >"$out/logs/$target.log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/logs/$target.log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$out/logs/$target.log")
    echo "$target: $runs executions in ${seconds} s, $rate exec/s"
  else
    echo "$target: FAILED, see $out/logs/$target.log and $out/findings/" >&2
    tail -n 30 "$out/logs/$target.log" >&2
    return 1
  fi
}

status=0
running=0
pids=""
for target in $targets; do
  run_one "$target" &
  pids="$pids $!"
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    for pid in $pids; do wait "$pid" || status=1; done
    pids=""
    running=0
  fi
done
for pid in $pids; do wait "$pid" || status=1; done
exit "$status"
