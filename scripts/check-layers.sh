#!/bin/sh
# Fails when a file includes a folder above its own: each folder may include
# only itself and the folders listed for it here, which lie below it.
set -eu
cd "$(dirname "$0")/.."

status=0
check() {
  folder=$1
  allowed=$2
  found=$(grep -rhoE '#include "[^/"]+/' "$folder" --include='*.cpp' --include='*.h' |
    sed 's/#include "//; s#/$##' | sort -u | grep -vxE "$allowed" || true)
  for higher in $found; do
    echo "$folder/ includes $higher/:" >&2
    grep -rnE "#include \"$higher/" "$folder" --include='*.cpp' --include='*.h' >&2
    status=1
  done
}

check base 'base'
check payload 'base|payload'
check messages 'base|messages'
check bundle 'base|bundle'
check engine 'base|payload|messages|engine'

# The disk layer is a room of its own inside engine/: it sees only base/, and
# the rest of the engine and everything above see only its public headers,
# never a platform realisation or one of the file layers under minizip.
fs_allowed() {
  outside=$1
  public=$2
  found=$(grep -rnoE '#include "engine/fs/[^"]+"' $outside --include='*.cpp' --include='*.h' |
    grep -vE '^engine/fs/' | grep -vE "#include \"engine/fs/($public)\"" || true)
  if [ -n "$found" ]; then
    echo "includes of the disk layer's own files:" >&2
    echo "$found" >&2
    status=1
  fi
}
fs_inner=$(grep -rhoE '#include "[^"]+"' engine/fs --include='*.cpp' --include='*.h' |
  grep -vE '#include "(base|engine/fs)/' || true)
if [ -n "$fs_inner" ]; then
  echo "engine/fs/ includes more than base/ and itself:" >&2
  echo "$fs_inner" >&2
  status=1
fi
# The run wraps the seam in its checks and stacks the write-gathering layer
# on the archives it creates; nothing else of the room is its business.
fs_allowed engine 'file_system\.h|checked_file_system\.h|write_gathering_layer\.h'
fs_allowed 'shell tools' 'file_system\.h'
check shell 'base|payload|messages|bundle|engine|shell'
check tools 'base|payload|messages|bundle|engine|tools'
exit $status
