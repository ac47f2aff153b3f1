#!/bin/sh
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer, UBSan) and runs
# every fuzz target for SECONDS each (default 600), or for a number of
# executions each, one after the other, from its seeds. The corpora grow
# under build/fuzz/corpus/<target> and are kept for the next run; a crash,
# leak, hang or property violation stops the script with the input written
# to build/fuzz/findings/. At the end it prints, for each target, the
# executions, their rate and libFuzzer's coverage figures (cov: the edges
# reached, ft: the features, which also count how often).
#
#   scripts/fuzz.sh [SECONDS]               every target
#   scripts/fuzz.sh --runs N [SECONDS]      N executions each (and at most
#                                           SECONDS, when given)
#   FUZZ_RUNS=N scripts/fuzz.sh             the same
#   FUZZ_TARGETS="run_fuzz" scripts/fuzz.sh 60   a chosen few
#   FUZZ_JOBS=2 scripts/fuzz.sh             two targets at a time
#
# A target with a dictionary fuzz/<target>.dict is given it: the names,
# signatures and records that its input must spell out to get far.
set -eu
cd "$(dirname "$0")/.."

runs="${FUZZ_RUNS:-}"
if [ "${1:-}" = "--runs" ]; then
  runs="${2:?--runs needs a number of executions}"
  shift 2
fi
if [ -n "$runs" ]; then
  seconds="${1:-0}"
else
  seconds="${1:-600}"
fi
targets="${FUZZ_TARGETS:-payload_fuzz patch_stream_fuzz run_fuzz leftover_journal_fuzz
  archive_merge_fuzz version_record_fuzz message_table_fuzz zip_reader_fuzz pe_signature_fuzz}"
jobs="${FUZZ_JOBS:-1}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_targets -j"$(nproc)"

out=build/fuzz
rm -rf "$out/seeds" "$out/results"
"$out/fuzz/make_fuzz_seeds" "$out/seeds" resources/messages.txt
mkdir -p "$out/findings" "$out/logs" "$out/results"

# libFuzzer's last status line: "#<runs> DONE cov: <n> ft: <n> corp: ...".
summarise() {
  target="$1"
  log="$out/logs/$target.log"
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(grep -E '^#[0-9]+.* cov: ' "$log" | tail -n 1 | sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\).*/cov \1, ft \2/p')
  printf '%-22s %12s executions %8s exec/s   %s\n' "$target" "$executed" "$rate" "$cov"
}

run_one() {
  target="$1"
  mkdir -p "$out/corpus/$target"
  set -- -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/findings/$target-"
  [ -n "$runs" ] && set -- "$@" -runs="$runs"
  [ "$seconds" -gt 0 ] && set -- "$@" -max_total_time="$seconds"
  [ -f "fuzz/$target.dict" ] && set -- "$@" -dict="fuzz/$target.dict"
  # Corpus first: new inputs go to the first folder; the seeds are read only.
  if "$out/fuzz/$target" "$@" "$out/corpus/$target" "$out/seeds/$target" \
      >"$out/logs/$target.log" 2>&1; then
    summarise "$target" >"$out/results/$target"
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
for target in $targets; do
  if [ -f "$out/results/$target" ]; then cat "$out/results/$target"; fi
done
exit "$status"
