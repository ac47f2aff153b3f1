#!/bin/sh
# Builds everything and shows the installer at work on a sample game folder:
# a patch made with patchpack, attached to the console installer, installed
# in the game folder, and then what changed on disk. Runs unattended; the
# answers that a player would type come from the script.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j"$(nproc)"

# Everything below happens in build/demo, with the tools on the PATH, so the
# commands read as a publisher and a player would type them.
export PATH="$PWD/build/release/tools/patchpack:$PATH"
stub=../release/shell/console/patch-installer
demo=$PWD/build/demo
game=$demo/game
rm -rf "$demo"
mkdir -p "$demo"
cd "$demo"
# Settings of the person running the demo must not steer it.
export XDG_CONFIG_HOME="$demo/config"

section() { printf '\n=== %s\n' "$*"; }
# Prints a command as typed at a prompt, then runs it.
run() {
  printf '$ %s\n' "$*"
  "$@"
}
# Every file of the game folder with its size and, for text, its first line.
listing() {
  (cd "$game" && find . -type f | LC_ALL=C sort | while read -r file; do
    case $file in
      *.zip) summary="(zip archive)" ;;
      *) summary=$(head -n 1 "$file" | tr -d '\r' | cut -c 1-40) ;;
    esac
    printf '%-26s %6s bytes  %s\n' "$file" "$(wc -c < "$file")" "$summary"
  done)
}
# Every file of the game folder with a digest of its contents.
digests() { (cd "$game" && find . -type f | LC_ALL=C sort | xargs sha1sum); }
# Names each file as replaced, added, deleted or unchanged between two digests.
changes() {
  awk 'NR == FNR { before[$2] = $1; next }
       { after[$2] = $1 }
       END {
         for (file in after) {
           if (!(file in before)) print "added     " file
           else if (before[file] != after[file]) print "replaced  " file
           else print "unchanged " file
         }
         for (file in before) if (!(file in after)) print "deleted   " file
       }' "$1" "$2" | LC_ALL=C sort
}
# Makes a zip archive from name=content pairs, as the game's packer would.
make_zip() {
  archive=$1
  shift
  staging=$(mktemp -d)
  for pair in "$@"; do printf '%s' "${pair#*=}" > "$staging/${pair%%=*}"; done
  (cd "$staging" && zip -q -X "$archive" $(for pair in "$@"; do echo "${pair%%=*}"; done))
  rm -rf "$staging"
}

section "The game as the player has it: version 13 of the online edition"
mkdir -p "$game/data" "$game/logs"
printf 'MZ Stormhaven 1.3' > "$game/sv.exe"
printf '[game]\r\nlanguage=en\r\n' > "$game/data/game.ini"
printf 'difficulty=normal\r\nmusic=on\r\n' > "$game/data/config.ini"
printf 'level data that 1.4 no longer needs' > "$game/data/legacy.dat"
printf 'crash at 0x0040a1f3' > "$game/logs/crash.log"
printf '13\r\nonline' > "$game/curver.txt"
make_zip "$game/data/textures.zip" "sky.tga=blue sky v1" "grass.tga=green grass v1" \
  "water.tga=old water v1" "stone.tga=grey stone v1"
listing
run unzip -l game/data/textures.zip
run od -c game/curver.txt

section "The patch source: every section of the patch stream"
mkdir -p patch-source/files/data/maps patch-source/archives/data/textures.zip
echo 14 > patch-source/version.txt
printf 'MZ Stormhaven 1.4' > patch-source/files/sv.exe
printf 'difficulty=normal\r\nmusic=on\r\nsubtitles=on\r\n' > patch-source/files/data/config.ini
printf 'harbour map, new in 1.4' > patch-source/files/data/maps/harbour.map
printf 'green grass v2' > patch-source/archives/data/textures.zip/grass.tga
printf 'yellow sand v1' > patch-source/archives/data/textures.zip/sand.tga
echo water.tga > patch-source/archives/data/textures.zip.drop
printf 'data\\legacy.dat\nlogs/crash.log\n' > patch-source/delete.txt
find patch-source -type f | LC_ALL=C sort

section "The publisher builds, checks and attaches the payload"
run patchpack build patch-source -o patch.payload
run patchpack inspect patch.payload
run patchpack attach "$stub" patch.payload -o stormhaven-patch-14

section "The player runs the installer in the game folder"
digests > before.sha1
cd game
status=0
run ../stormhaven-patch-14 < /dev/null || status=$?
cd ..
echo "(exit code $status)"
[ "$status" -eq 0 ] || exit 1

section "What changed on disk"
digests > after.sha1
changes before.sha1 after.sha1
echo
listing
run unzip -l game/data/textures.zip
run unzip -p game/data/textures.zip grass.tga
echo
run od -c game/curver.txt
leftovers=$(find game -name '*.updtmp')
[ -z "$leftovers" ] || { echo "staged files left behind: $leftovers"; exit 1; }

section "A second run finds the patch installed and asks; the player answers no"
cd game
status=0
echo '$ echo n | ../stormhaven-patch-14'
echo n | ../stormhaven-patch-14 || status=$?
cd ..
echo "(exit code $status: ended without installing)"
[ "$status" -eq 2 ] || exit 1
od -c game/curver.txt | head -n 1

section "Done"
echo "build/demo/stormhaven-patch-14 is $(wc -c < stormhaven-patch-14) bytes:" \
  "$(wc -c < "$stub") of stub, $(wc -c < patch.payload) of payload, 40 of footer."
