#!/bin/sh
# A game whose data lives in .pk3 archives, patched by entry and whole:
# diff and build are timed under /usr/bin/time -v, and the payload's size is
# set beside its floor, the changed entries' bytes, which do not compress.
#
#   bench/pk3_bench.sh [--entries N] [--only by-entry|whole]
#
# The games, made under build/release/bench/pk3-data (never committed): three
# .pk3 archives written by Python's zipfile, each of N entries (default 220)
# of 128 KiB of random bytes, as compressed textures are; NEW changes 13
# entries of each, adds one and drops one.
set -eu
cd "$(dirname "$0")/.."

entries=220
modes="by-entry whole"
while [ $# -gt 0 ]; do
  case "$1" in
    --entries) entries=$2; shift 2 ;;
    --only) modes=$2; shift 2 ;;
    *) echo "usage: bench/pk3_bench.sh [--entries N] [--only by-entry|whole]" >&2; exit 2 ;;
  esac
done

patchpack=build/release/tools/patchpack/patchpack
data=build/release/bench/pk3-data
if [ ! -x "$patchpack" ]; then
  echo "pk3_bench: build the release preset first:" \
       "cmake --preset release && cmake --build --preset release --target patchpack" >&2
  exit 1
fi

games=$data/games-$entries
if [ ! -f "$games/new/curver.txt" ]; then
  echo "making two games of 3 x $entries entries in $games..."
  rm -rf "$games"
  python3 - "$games" "$entries" <<'EOF'
import os, random, sys, zipfile

root, count = sys.argv[1], int(sys.argv[2])
added = random.Random(7)
for game, changed in (("old", False), ("new", True)):
    rng = random.Random(20261209)
    os.makedirs(os.path.join(root, game, "baseq3"))
    with open(os.path.join(root, game, "curver.txt"), "w") as f:
        f.write("2\n" if changed else "1\n")
    for pak in range(3):
        path = os.path.join(root, game, "baseq3", "pak%d.pk3" % pak)
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
            for i in range(count):
                content = rng.randbytes(128 << 10)
                if changed and i % (count // 13) == 0 and i // (count // 13) < 13:
                    content = bytes(b ^ 0x5A for b in content)
                if changed and i == count - 1:
                    continue  # dropped
                archive.writestr("Textures/Set%d/Tex%04d.JPG" % (pak, i), content)
            if changed:
                archive.writestr("Textures/Set%d/Added.JPG" % pak, added.randbytes(128 << 10))
EOF
fi

# Runs patchpack under /usr/bin/time; prints seconds and peak RSS in MiB.
timed() {
  /usr/bin/time -v "$patchpack" "$@" --quiet > /dev/null 2> "$data/time.txt"
  seconds=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$data/time.txt" |
    awk -F: '{ s = 0; for (k = 1; k <= NF; k++) s = s * 60 + $k; print s }')
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$data/time.txt")
  echo "$seconds $((rss / 1024))"
}

for mode in $modes; do
  source=$data/source-$mode
  rm -rf "$source"
  whole=""
  [ "$mode" = whole ] && whole="--whole=baseq3/*.pk3"
  # shellcheck disable=SC2086
  set -- $(timed diff "$games/old" "$games/new" -o "$source" --version 2 $whole)
  diff_s=$1 diff_mib=$2
  set -- $(timed build "$source" -o "$data/$mode.payload")
  build_s=$1 build_mib=$2
  payload=$(stat -c %s "$data/$mode.payload")
  archives=$(du -cb "$games"/new/baseq3/*.pk3 | tail -1 | cut -f1)
  changed=$((3 * 14 * 131072))
  python3 - "$mode" "$payload" "$changed" "$archives" "$diff_s" "$diff_mib" "$build_s" \
    "$build_mib" <<'EOF'
import sys
mode = sys.argv[1]
payload, changed, archives, diff_s, diff_mib, build_s, build_mib = map(float, sys.argv[2:])
floor = changed if mode == "by-entry" else archives
print(f"{mode}: payload {payload / 1e6:.1f} MB (floor {floor / 1e6:.1f} MB, "
      f"{'the changed entries' if mode == 'by-entry' else 'the new archives'}); "
      f"diff {diff_s:.2f} s, peak {diff_mib:.0f} MiB; build {build_s:.2f} s, peak {build_mib:.0f} MiB")
EOF
done
