#!/bin/sh
# Times `patchpack build` on two patch sources and sets its peak memory beside
# the bound it is built to keep: the stream held once, plus what the encoder
# needs at the stream's dictionary, plus 64 MiB.
#
#   bench/build_bench.sh [--size MB] [--reference-scale S] [--rounds N]
#
# The sources, made under build/release/bench/build-data (never committed):
#  - "generated": about MB megabytes (default 1024) from a seeded generator,
#    half text of seeded random words, half random bytes, in 8 MiB loose
#    files and an archive of 1 MiB entries holding a tenth; the same size
#    and seed give the same bytes on every machine.
#  - "reference": the patch of install_bench's reference game (an 18 MB
#    stream at scale 1), written out as a source folder from the stream that
#    install_bench leaves in build/release/bench/install-data; made by
#    running install_bench once at scale S (default 1) when that stream is
#    missing or of another scale.
# Each build runs N times (default 3) under /usr/bin/time -v; the figures
# are the medians.
set -eu
cd "$(dirname "$0")/.."

size_mb=1024
reference_scale=1
rounds=3
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size_mb=$2; shift 2 ;;
    --reference-scale) reference_scale=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "usage: bench/build_bench.sh [--size MB] [--reference-scale S] [--rounds N]" >&2
       exit 2 ;;
  esac
done

bin=build/release
patchpack=$bin/tools/patchpack/patchpack
install_bench=$bin/bench/install_bench
data=$bin/bench/build-data
if [ ! -x "$patchpack" ] || [ ! -x "$install_bench" ]; then
  echo "build_bench: build the release preset first:" \
       "cmake --preset release && cmake --build --preset release" >&2
  exit 1
fi
mkdir -p "$data"

# The generated source, made again only when its size changes.
generated=$data/generated-$size_mb
if [ ! -f "$generated/version.txt" ]; then
  echo "making a source of $size_mb MB in $generated..."
  rm -rf "$generated"
  python3 - "$generated" "$size_mb" <<'EOF'
import os, random, sys

root, size_mb = sys.argv[1], int(sys.argv[2])
rng = random.Random(20261209)
vocabulary = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 11)))
              for _ in range(3000)]
MIB = 1 << 20

def text(size):
    out, length = [], 0
    while length < size:
        line = " ".join(rng.choices(vocabulary, k=12)) + "\n"
        out.append(line)
        length += len(line)
    return "".join(out).encode()[:size]

def noise(size):
    return rng.randbytes(size)

def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)

write(os.path.join(root, "version.txt"), b"15\n")
left = size_mb * 1000 * 1000
archive = os.path.join(root, "archives", "data", "pack.zip")
# A tenth goes into the archive, as 1 MiB entries of both kinds.
for i in range(max(1, left // 10 // MIB)):
    write(os.path.join(archive, "entries", "e%04d.dat" % i), (text if i % 2 else noise)(MIB))
    left -= MIB
i = 0
while left > 0:
    size = min(8 * MIB, left)
    kind = "text" if i % 2 else "noise"
    write(os.path.join(root, "files", kind, "%s%04d.bin" % (kind, i)),
          (text if i % 2 else noise)(size))
    left -= size
    i += 1
EOF
fi

# The reference source, from install_bench's stream.
install_data=$bin/bench/install-data
stamp="install_bench reference game 1, scale $(printf %f "$reference_scale")"
if [ ! -f "$install_data/stream.bin" ] || [ "$(cat "$install_data/stamp" 2>/dev/null)" != "$stamp" ]; then
  echo "making install_bench's reference patch at scale $reference_scale..."
  "$install_bench" --scale "$reference_scale" --rounds 1 > /dev/null
fi
reference=$data/reference-$reference_scale
if [ ! -f "$reference/version.txt" ]; then
  rm -rf "$reference"
  python3 - "$install_data/stream.bin" "$reference" <<'EOF'
# The patch stream as a source folder: version; loose files (name, u32 size,
# bytes)* 0; archives (path, (entry, u32 size, bytes)* 0, (drop)* 0)* 0;
# deletions (path)* 0.
import os, struct, sys

stream, root = open(sys.argv[1], "rb").read(), sys.argv[2]
at = 0

def u32():
    global at
    at += 4
    return struct.unpack_from("<I", stream, at - 4)[0]

def name():
    global at
    end = stream.index(b"\0", at)
    text, at = stream[at:end].decode("latin-1"), end + 1
    return text

def content():
    global at
    size = u32()
    at += size
    return stream[at - size:at]

def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)

write(os.path.join(root, "version.txt"), b"%d\n" % struct.unpack("<i", stream[:4])[0])
at = 4
while (target := name()):
    write(os.path.join(root, "files", *target.split("\\")), content())
while (archive := name()):
    folder = os.path.join(root, "archives", *archive.split("\\"))
    while (entry := name()):
        write(os.path.join(folder, *entry.split("/")), content())
    drops = []
    while (drop := name()):
        drops.append(drop)
    if drops:
        write(folder + ".drop", "".join(d + "\n" for d in drops).encode("latin-1"))
deletions = []
while (path := name()):
    deletions.append(path)
write(os.path.join(root, "delete.txt"), "".join(d + "\n" for d in deletions).encode("latin-1"))
assert at == len(stream), "bytes after the deletions"
EOF
fi

# The encoder's needs at the dictionary build chooses: the smallest power of
# two that holds the stream, 4 KiB to 64 MiB, at the default preset 6.
encoder_mib() {
  dict=4096
  while [ "$dict" -lt "$1" ] && [ "$dict" -lt 67108864 ]; do dict=$((dict * 2)); done
  echo | xz -vv --format=lzma --lzma1=preset=6,dict=$dict -c 2>&1 >/dev/null |
    sed -n 's/^xz: \([0-9]*\) MiB of memory is required.*/\1/p'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

bench_one() {
  label=$1 source=$2
  out=$data/$label.payload
  : > "$data/times" && : > "$data/rss"
  i=0
  while [ $i -lt "$rounds" ]; do
    /usr/bin/time -v "$patchpack" build "$source" -o "$out" --quiet --json \
      > "$data/report.json" 2> "$data/time.txt"
    sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$data/time.txt" |
      awk -F: '{ s = 0; for (k = 1; k <= NF; k++) s = s * 60 + $k; print s }' >> "$data/times"
    sed -n 's/.*Maximum resident set size (kbytes): //p' "$data/time.txt" >> "$data/rss"
    i=$((i + 1))
  done
  seconds=$(median < "$data/times")
  rss_kb=$(median < "$data/rss")
  stream=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["stream_bytes"])' \
    "$data/report.json")
  payload=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["payload_bytes"])' \
    "$data/report.json")
  encoder=$(encoder_mib "$stream")
  python3 - "$label" "$rounds" "$seconds" "$rss_kb" "$stream" "$payload" "$encoder" <<'EOF'
import sys
label, rounds = sys.argv[1], int(sys.argv[2])
seconds, rss_kb, stream, payload, encoder = map(float, sys.argv[3:])
MIB = 1 << 20
bound = stream / MIB + encoder + 64
rss = rss_kb * 1024 / MIB
print(f"{label}: stream {stream / 1e6:.1f} MB, payload {payload / 1e6:.1f} MB "
      f"({100 * payload / stream:.1f} %), median of {rounds}: {seconds:.2f} s "
      f"({stream / 1e6 / max(seconds, 0.01):.1f} MB/s), peak RSS {rss:.0f} MiB; bound {bound:.0f} MiB "
      f"(stream {stream / MIB:.0f} + encoder {encoder:.0f} + 64): "
      f"{'within' if rss <= bound else 'OVER'}")
EOF
  rm -f "$out"
}

bench_one generated "$generated"
bench_one reference "$reference"
# The source folder must be the reference patch itself: the same stream.
if [ "$stream" != "$(stat -c %s "$install_data/stream.bin")" ]; then
  echo "build_bench: the reference source gives a stream of $stream bytes," \
       "install_bench's is $(stat -c %s "$install_data/stream.bin")" >&2
  exit 1
fi
